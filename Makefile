# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build first.

.PHONY: run test deps configure build asan bench clean

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

clean:
	rm -rf build
