# make run  : install what is missing, build, start the program
# make test : install what is missing, build, run every test
BUILD    ?= build
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES := cmake make g++ pkg-config libgtest-dev libgmock-dev qt6-base-dev qt6-qpa-plugins \
            libzip-dev zlib1g-dev fonts-liberation zip unzip clang libclang-rt-14-dev \
            xvfb xdotool imagemagick bc time
# Peers that the benchmarks measure against; only `make bench` installs them.
BENCH_PACKAGES := pigz p7zip-full
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps bench-deps build run test test-asan bench format clean

all: build

deps bench-deps: LIST = $(if $(filter bench-deps,$@),$(BENCH_PACKAGES),$(PACKAGES))
deps bench-deps:
	@missing=""; for p in $(LIST); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/parzello ]; then $(BUILD)/parzello; else $(BUILD)/parzello-cli --help; fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPZ_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build bench-deps
	bash bench/split_join.sh $(BUILD)
	bash bench/packed_split.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan
