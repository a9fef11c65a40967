# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build first.

.PHONY: run test deps configure build asan fuzz soak bench screenshot install-desktop clean

deps:
	@bash scripts/install-deps

configure: deps
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default

run: build
	./build/default/src/app/corvane

test: build
	ctest --preset default

asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	ctest --preset asan

# Every fuzz target for FUZZ_SECONDS (60) each; see fuzz/run.
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	bash fuzz/run

# SIGKILL during saves, imports and syncs (SOAK_ROUNDS, 200), then the sync
# server under LOAD_CLIENTS (50) clients for LOAD_SECONDS (60); see tests/soak.
soak: build
	bash tests/soak/kill-loop.sh
	bash tests/soak/load.sh

bench: build
	@bash bench/run

# docs/screenshot.png: the window with a sample store, as the GUI test renders it.
screenshot: build
	CORVANE_SCREENSHOT=docs/screenshot.png QT_QPA_PLATFORM=offscreen ./build/default/tests/app/tst_mainwindow screenshot

# For this user alone: corvane and corvanectl in ~/.local/bin, the desktop
# entry (the handler of corvane:// links), icon and metadata in ~/.local/share.
install-desktop: build
	cmake --install build/default --prefix $(HOME)/.local
	-update-desktop-database $(HOME)/.local/share/applications
	-xdg-mime default com.nuvalto.Corvane.desktop x-scheme-handler/corvane

clean:
	rm -rf build
