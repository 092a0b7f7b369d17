# Vellum: the two commands are `make run` and `make test`; the rest are helpers.
SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c
.DEFAULT_GOAL := run

SOURCES = $(shell git ls-files --cached --others --exclude-standard '*.cpp' '*.h' 2>/dev/null || find app browser core host tools tests bench -name '*.cpp' -o -name '*.h')

.PHONY: run test deps linux linux-asan windows sword-windows test-linux test-asan test-windows test-e2e \
        format format-check bench bench-linux bench-page-forms bench-import bench-sync \
        dist-windows clean \
        fuzz-build fuzz test-fuzz install deb test-package

# Where `make install` puts Vellum; DESTDIR (empty: none) stages it elsewhere.
PREFIX ?= /usr/local
DESTDIR ?=

# Seconds each fuzz target runs in `make fuzz`.
FUZZ_SECONDS ?= 60

deps:
	@tools/install-deps.sh

linux: deps
	@cmake --preset linux >/dev/null
	@cmake --build --preset linux

linux-asan: deps
	@cmake --preset linux-asan >/dev/null
	@cmake --build --preset linux-asan

# The SWORD library for vellum-import.exe, cross-built from Debian's source.
sword-windows: deps
	@tools/build-sword-windows.sh

windows: deps sword-windows
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows

run: linux
	@tools/run.sh

test-linux: linux
	ctest --preset linux

test-asan: linux-asan
	ctest --preset linux-asan

# The libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer).
fuzz-build: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz

# Each fuzz target for FUZZ_SECONDS on a scratch copy of its seed corpus.
fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_SECONDS)

# Each fuzz target for a few seconds, so that the harnesses never rot.
test-fuzz: fuzz-build
	tests/fuzz/run.sh 3

# The Windows program folder as a zip, build/dist/vellum-windows.zip, and
# the installer made from it, build/dist/vellum-setup.exe.
dist-windows: windows
	@tools/dist-windows.sh

# CMake's install rules: the program folder in PREFIX/lib/vellum, the
# programs in PREFIX/bin, the desktop entry, icons and manual pages.
install: linux
	DESTDIR="$(DESTDIR)" cmake --install build/linux --prefix "$(PREFIX)"

# The Debian package, build/dist/vellum_<version>_amd64.deb, its
# dependencies computed by dpkg-shlibdeps.
deb: linux
	@rm -rf build/linux/package build/dist/vellum_*_amd64.deb
	@cd build/linux && cpack -B package >/dev/null
	@mkdir -p build/dist && cp build/linux/package/vellum_*_amd64.deb build/dist/
	@echo "deb: $$(ls build/dist/vellum_*_amd64.deb)"

# The package installed into a throwaway root and its viewer run there.
test-package: deb
	/usr/bin/python3 tests/package/run.py

test-windows: windows dist-windows linux
	tests/wine/run-unit-tests.sh build/windows/tests/vellum_core_tests.exe
	tests/wine/run-unit-tests.sh build/windows/tests/vellum_host_tests.exe
	tests/wine/run-unit-tests.sh build/windows/tests/vellum_import_tests.exe
	/usr/bin/python3 tests/wine/run.py

test-e2e: linux
	/usr/bin/python3 tests/e2e/run.py

test: format-check test-linux test-asan test-fuzz test-windows test-e2e test-package

format: deps
	clang-format -i $(SOURCES)

format-check: deps
	@clang-format --dry-run -Werror $(SOURCES)

bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	build/bench/bench/vellum_bench

# The Linux viewer against WebKit alone on a 31,000-anchor page (needs both builds).
bench-linux: linux
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	/usr/bin/python3 bench/linux_bench.py

# The forms of a large page tried on WebKit alone.
bench-page-forms: linux
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	/usr/bin/python3 bench/page_forms.py

# BibleSync: a navigation's way from its arrival to the viewer, against libbiblesync
# polled once a second; memory before and after a flood (as root: a private network).
bench-sync: linux
	/usr/bin/python3 bench/sync_bench.py

# vellum-import on Debian's modules, and WebKit's time to a late anchor on its pages.
bench-import: linux
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench --target webkit_alone
	/usr/bin/python3 bench/import_bench.py

clean:
	rm -rf build
