# make demo: the main job on the simulated bench.  make test: build, run every test.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
ifeq ($(SANITIZE),1)
  BUILD := build-asan
  CMAKE_FLAGS += -DVTS_SANITIZE=ON
endif

DEBIAN_PACKAGES = cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev iproute2 util-linux clang libclang-rt-14-dev python3-pytest
# The Windows builds: mingw-w64 for both targets (posix threads), binutils
# for the export check, dpkg-dev for unpacking pugixml's Debian source, and
# wine64 for running the 64-bit test programs (GoogleTest built from its
# Debian source copy); the IDL compiler and Wine's system IDL files for the
# type library; Xvfb, ImageMagick and a CJK font for the dialog test
# on a virtual display and its screenshots.
WIN_PACKAGES = g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools libwine-dev dpkg-dev wine64 googletest xvfb imagemagick fonts-wqy-microhei
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps win-deps configure build test demo bench fuzz tsan win32 win64 win-test win clean

all: build

deps win-deps: PACKAGES = $(if $(filter win-deps,$@),$(WIN_PACKAGES),$(DEBIAN_PACKAGES))
deps win-deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Each test runs in a private network namespace of its own (tools/netns-run).
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	tools/netns-run $(BUILD)/tools/vts demo

# Every benchmark, each printing its ratio against a floor of the same run,
# all of its threads on one processor: the simulated tester's answer then
# waits for no wake-up across processors, which on a virtual machine comes
# late now and then and only ever to the path through the simulator, never to
# its floor.
bench: build
	@for b in $(BUILD)/bench/*/bench_*; do [ -x "$$b" ] && tools/netns-run taskset -c 0 "$$b"; done; true

# Every libFuzzer harness for FUZZ_SECONDS each (clang, address and UB
# sanitizers), from its starting inputs in fuzz/corpus/<harness>/ (read only: what a run
# finds goes to build-fuzz/corpus/<harness>/, a failing input to build-fuzz/).
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVTS_FUZZ=ON -DVTS_BUILD_TESTS=OFF -DVTS_BUILD_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS)
	@for f in build-fuzz/fuzz/fuzz_*; do [ -x "$$f" ] || continue; name=$$(basename "$$f"); echo "== $$name"; \
	  mkdir -p build-fuzz/corpus/$$name; inputs=; [ -d fuzz/corpus/$$name ] && inputs=fuzz/corpus/$$name; \
	  tools/netns-run "$$f" -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/$$name- build-fuzz/corpus/$$name $$inputs || exit 1; done

# The threaded parts under ThreadSanitizer.
tsan:
	$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DVTS_TSAN=ON -DVTS_BUILD_BENCH=OFF"

# Windows: VarelTSS.dll for 32-bit Windows, the product, built with
# mingw-w64 and checked: every export by its plain name, system DLLs only.
WIN_THIRD_PARTY = build-third-party
WIN_CMAKE = -DVTS_PUGIXML_SOURCE=$(CURDIR)/$(WIN_THIRD_PARTY)/pugixml-1.13 -DVTS_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release

$(WIN_THIRD_PARTY)/pugixml.unpacked: | win-deps
	tools/debian-source pugixml $(WIN_THIRD_PARTY)

win32: win-deps $(WIN_THIRD_PARTY)/pugixml.unpacked
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake $(WIN_CMAKE) -DVTS_BUILD_TESTS=OFF
	cmake --build build-win32 --target VarelTSS -j $(JOBS)
	tools/check-win-dll build-win32/bin/VarelTSS.dll api/VarelTSS.def

# The same library and every test program for 64-bit Windows, and their run
# under wine64 inside one private network namespace (the wine server opens
# the programs' sockets, so the whole run shares it; the tests run one at a time).
win64: win-deps $(WIN_THIRD_PARTY)/pugixml.unpacked
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake $(WIN_CMAKE)
	cmake --build build-win64 -j $(JOBS)

win-test: win64
	tools/netns-run tools/wine-session build-win64 ctest --test-dir build-win64 --output-on-failure --timeout 300

win: win32 win-test

clean:
	rm -rf build build-asan build-tsan build-fuzz build-win32 build-win64 $(WIN_THIRD_PARTY)
