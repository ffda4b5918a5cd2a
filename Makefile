# Set-up and everyday commands. Every target first installs the Debian
# packages the build needs (only those that are missing), then configures and
# builds with CMake and Ninja in its own build folder.

BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_BENCH?= build-bench
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 10
SECONDS    ?= 600
JOBS       ?= $(shell nproc)

# Needed to build and test.
PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev \
            libbenchmark-dev libjpeg-dev libturbojpeg0-dev python3 qt6-base-dev locales \
            dpkg-dev file lintian appstream man-db desktop-file-utils pkgconf \
            libopencv-calib3d-dev libopencv-imgproc-dev libzxing-dev qt6-svg-dev poppler-utils \
            pybind11-dev python3-pybind11 python3-dev python3-numpy python3-pytest python3-pil \
            libaravis-dev aravis-tools-cli libusb-1.0-0-dev \
            libsqlite3-dev sqlite3 libpq-dev postgresql
# Optional cross-checks: the tests that need them skip without them.
OPTIONAL_PACKAGES := python3-ezdxf imagemagick
# Optional comparisons of the benchmarks.
BENCH_PACKAGES := libopencv-dev
# What deb-check needs to start the desktop program and press Escape.
DEB_CHECK_PACKAGES := xvfb xauth xdotool

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps deps-optional build run screenshots test test-asan bench fuzz soak deb deb-check clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -q && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi

# Best effort: the optional packages widen the tests but never block them.
deps-optional:
	@missing=""; for p in $(OPTIONAL_PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing (optional):$$missing"; \
	  ( $(SUDO) apt-get update -q && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing ) \
	    || echo "Optional packages not installed; the cross-checks that need them will skip."; \
	fi

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The station runs in a folder of its own (station-run/, or ORVANE_HOME), so its
# configuration files never land in the source tree. Without a video device
# it starts on the virtual camera's synthetic scene.
run: build
	@if [ ! -x $(BUILD)/ui/qt/orvane ]; then \
	  echo "The desktop program was not built (Qt 6, the window's logic or the camera is missing)."; exit 1; \
	fi
	@home=$${ORVANE_HOME:-$(CURDIR)/station-run}; mkdir -p "$$home"; cd "$$home"; \
	if [ -z "$$ORVANE_VIRTUAL_CAMERA" ] && ! ls /dev/video* >/dev/null 2>&1; then \
	  echo "No video device on this machine: starting on the virtual camera's synthetic scene (ORVANE_VIRTUAL_CAMERA=scene)."; \
	  export ORVANE_VIRTUAL_CAMERA=scene; \
	fi; \
	exec $(CURDIR)/$(BUILD)/ui/qt/orvane $(ARGS)

# The real program under Xvfb, as a new user would start it in an empty
# folder: once without a camera, once on the virtual camera; a screenshot of
# the whole screen of each lands in $(BUILD)/.
screenshots: build
	@$(MAKE) --no-print-directory deps-optional EXTRA_PACKAGES="xvfb xauth x11-apps"
	tools/xvfb_screenshots.sh $(BUILD)

test: deps deps-optional build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps deps-optional
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: deps
	@$(MAKE) --no-print-directory deps-optional EXTRA_PACKAGES="$(BENCH_PACKAGES)"
	cmake -S . -B $(BUILD_BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BENCH=ON -DORVANE_TESTS=OFF -DORVANE_GUI=OFF
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	@for b in $(BUILD_BENCH)/bench/*_bench; do [ -x "$$b" ] && "$$b" $(BENCH_ARGS) || exit 1; done

# libFuzzer targets, built with clang; each runs FUZZ_SECONDS from its seed corpus.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DORVANE_FUZZ=ON -DORVANE_TESTS=OFF -DORVANE_GUI=OFF
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	@for f in $(BUILD_FUZZ)/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; name=$$(basename $$f); \
	  mkdir -p $(BUILD_FUZZ)/corpus/$$name; \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  seeds=fuzz/corpus/$${name#fuzz_}; [ -d $$seeds ] || seeds=; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(BUILD_FUZZ)/corpus/$$name $$seeds > $(BUILD_FUZZ)/$$name.log 2>&1 \
	    || { tail -n 40 $(BUILD_FUZZ)/$$name.log; exit 1; }; \
	  tail -n 3 $(BUILD_FUZZ)/$$name.log; \
	done

# The Debian packages orvane and orvane-dev, made by CPack from $(BUILD) into
# $(BUILD)/deb/, then checked by lintian (an error fails the target).
VERSION = $$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(BUILD)/CMakeCache.txt)
deb: build
	rm -f $(BUILD)/deb/*.deb
	cd $(BUILD) && cpack --config CPackConfig.cmake
	lintian --fail-on error --display-info $(BUILD)/deb/*.deb

# Installs the packages on this machine, uses them as a plain user would and
# removes them again (packaging/deb_check.sh says what it checks). Root only.
deb-check: deb
	@$(MAKE) --no-print-directory deps-optional EXTRA_PACKAGES="$(DEB_CHECK_PACKAGES)"
	packaging/deb_check.sh $(BUILD)/deb $(VERSION)

# The random operator for SECONDS seconds on the sanitizer build (SEED=N replays a run).
soak: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target orvane-batch
	python3 tools/random_operator.py soak --batch $(BUILD_ASAN)/batch/orvane-batch \
	  --seconds $(SECONDS) $(if $(SEED),--seed $(SEED))

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_BENCH) $(BUILD_FUZZ)
