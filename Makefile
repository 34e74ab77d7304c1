# Quick start: `make run` builds and starts the app, `make test` builds and runs every test.
BUILD ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# Build, run and test packages from Debian.
PACKAGES := build-essential cmake ninja-build pkg-config \
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev libxcb1-dev \
  libgtest-dev libgmock-dev \
  libmagick++-dev imagemagick libicns-dev \
  libespeak-ng-dev espeak-ng-data espeak-ng libsndfile1-dev sox \
  libxml2-dev libplist-dev libzip-dev libgsf-1-dev zlib1g-dev \
  tidy coreutils \
  xvfb xdotool x11-apps x11-utils xauth \
  pandoc antiword catdoc wv \
  libvips-dev libvips-tools graphicsmagick libuchardet-dev libcairo2-dev \
  openbox pcmanfm-qt xcompmgr libreoffice-writer-nogui

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps configure build run test install clean bench sanitize

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/bin/vorpelconverter

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=$${QT_QPA_PLATFORM:-offscreen} ctest --output-on-failure -j $(JOBS) --timeout 600

sanitize:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DVORPEL_SANITIZE=ON"

bench: build
	cmake --build $(BUILD) --target benchmarks && ./$(BUILD)/bench/run-benchmarks.sh $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
