# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build first.

.PHONY: run test deps configure build asan bench screenshot clean

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

bench: build
	@bash bench/run

# docs/screenshot.png: the window with a sample store, as the GUI test renders it.
screenshot: build
	CORVANE_SCREENSHOT=docs/screenshot.png QT_QPA_PLATFORM=offscreen ./build/default/tests/app/tst_mainwindow screenshot

clean:
	rm -rf build
