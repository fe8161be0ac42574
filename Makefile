# The front door: tools/bootstrap installs what is missing, CMake does the work.
BUILD ?= build
BUILD_WIN ?= build-win
BUILD_WIN32 ?= build-win32
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# More cache options for both trees, e.g. the operator's addresses (README).
CMAKE_ARGS ?=
# The program's own warnings stop the build; WERROR=OFF for a compiler newer than ours.
WERROR ?= ON

PREFIX ?= /usr/local

.PHONY: all bootstrap configure build build-win build-win32 check check-linux check-win check-win32 check-asan \
        check-tsan fuzz-build run demo \
        bench fuzz mutate install package package-win format format-check layers-check clean

all: build

bootstrap:
	@tools/bootstrap

# The benchmarks are built with the program, so that they never rot unnoticed; make bench
# runs them from a tree of its own.
configure: bootstrap
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKESTRION_WERROR=$(WERROR) \
	  -DKESTRION_BUILD_BENCH=ON $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The Windows program, cross-built with mingw-w64; its tests run under Wine and use the Linux
# build's test billing server. Its packages hold the 32-bit programs too.
build-win: build
	cmake -S . -B $(BUILD_WIN) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake -DKESTRION_NATIVE_BIN=$(abspath $(BUILD))/bin \
	  -DKESTRION_WIN32_BIN=$(abspath $(BUILD_WIN32))/bin -DKESTRION_WERROR=$(WERROR) $(CMAKE_ARGS)
	cmake --build $(BUILD_WIN) -j $(JOBS)

# The 32-bit Windows programs, for 32-bit Windows. Of their tests only the whole programs' run,
# in a 32-bit Wine prefix: the rest is the same code as in the 64-bit tree.
build-win32: build
	cmake -S . -B $(BUILD_WIN32) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686-posix.cmake -DKESTRION_NATIVE_BIN=$(abspath $(BUILD))/bin \
	  -DKESTRION_WHOLE_PROGRAM_TESTS_ONLY=ON -DKESTRION_WERROR=$(WERROR) $(CMAKE_ARGS)
	cmake --build $(BUILD_WIN32) -j $(JOBS)

check-linux: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# One X server for the whole run: every case under Wine shares it (tests/support/with_display.sh).
# The package and setup cases take the 32-bit programs too.
check-win: build-win build-win32
	bash tests/support/with_display.sh ctest --test-dir $(BUILD_WIN) --output-on-failure -j $(JOBS)

check-win32: build-win32
	bash tests/support/with_display.sh ctest --test-dir $(BUILD_WIN32) --output-on-failure -j $(JOBS)

# The Linux tree again with AddressSanitizer and UndefinedBehaviorSanitizer, every test in it,
# the desktop sessions included.
check-asan: bootstrap
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRION_SANITIZE=ON \
	  -DKESTRION_WERROR=$(WERROR)
	cmake --build build-asan -j $(JOBS)
	LSAN_OPTIONS=suppressions=$(abspath tests/lsan.supp) \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The core's and the Linux platform files' tests again with ThreadSanitizer: the poll thread,
# its hand-overs and the end of the program, the HTTP client's Cancel.
check-tsan: bootstrap
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRION_TSAN=ON \
	  -DKESTRION_WERROR=$(WERROR)
	cmake --build build-tsan -j $(JOBS) --target core_tests linux_tests
	TSAN_OPTIONS=suppressions=$(abspath tests/tsan.supp) \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -R '^(core_tests|linux_tests)\.'

# The fuzz targets compiled, not run (make fuzz runs them).
fuzz-build: bootstrap
	cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build build-fuzz -j $(JOBS)

check: format-check layers-check check-linux check-win check-win32 check-asan check-tsan fuzz-build

# Each folder includes only from the folders below it (README, "Layout").
layers-check:
	tools/check-layers

# Every C++ file as the repository's .clang-format lays it out; `make format` rewrites them so.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format-check: bootstrap
	@clang-format --dry-run --Werror $(FORMAT_FILES)
	@echo "format-check: $(words $(FORMAT_FILES)) files laid out as .clang-format says"

format: bootstrap
	clang-format -i $(FORMAT_FILES)

run: build
	$(BUILD)/bin/kestrion

# The programs, their menu entry, icons, metainfo and manual pages under PREFIX.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# build/kestrion_<version>-1_<arch>.deb, for apt install ./build/kestrion_*.deb; lintian
# must find no error in it.
package: build
	cmake --build $(BUILD) --target package
	lintian --fail-on error $(BUILD)/kestrion_*.deb

# build-win/kestrion-<version>-win64.zip (kestrion.exe and kestrion-check.exe in x64\ and, for
# 32-bit Windows, in x86\; a README, the licence) and build-win/kestrion-<version>-setup.exe,
# which installs the programs of the Windows it runs on. Given SIGN_PKCS12=cert.p12 (and
# SIGN_PASSWORD_FILE, SIGN_TIMESTAMP_URL), the programs, the uninstaller and the setup program
# are signed with Authenticode (cmake/sign.cmake).
package-win: build-win build-win32
	SIGN_PKCS12=$(if $(SIGN_PKCS12),$(abspath $(SIGN_PKCS12))) \
	SIGN_PASSWORD_FILE=$(if $(SIGN_PASSWORD_FILE),$(abspath $(SIGN_PASSWORD_FILE))) \
	SIGN_TIMESTAMP_URL=$(SIGN_TIMESTAMP_URL) cmake --build $(BUILD_WIN) --target package

demo: bootstrap
	tools/demo

bench: build
	bench/run

fuzz: bootstrap
	fuzz/run

# Small realistic faults (tests/mutations/), one at a time in a scratch copy: each must fail
# the tests it names. Not part of check: every fault costs a rebuild.
mutate: bootstrap
	tools/mutate

clean:
	rm -rf $(BUILD) $(BUILD_WIN) $(BUILD_WIN32) build-demo build-asan build-tsan build-bench build-fuzz build-mutate
