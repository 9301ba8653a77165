# make run  : install what is missing, build, start the program
# make test : install what is missing, build, run every test
# make package : the same, then the Debian package (tests/package/install_test.sh tries it out)
BUILD    ?= build
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
# Node and npm build the joiner page (web/): Debian's, unless both commands are there already
# (Node's own packages bring npm along and conflict with Debian's npm package).
NODE_PACKAGES := $(if $(and $(shell command -v node),$(shell command -v npm)),,nodejs npm)
PACKAGES := cmake make g++ pkg-config libgtest-dev libgmock-dev qt6-base-dev qt6-qpa-plugins \
            libzip-dev zlib1g-dev fonts-liberation zip unzip clang clang-tidy libclang-rt-14-dev \
            xvfb xdotool imagemagick bc time libssl-dev qt6-translations-l10n par2 $(NODE_PACKAGES)
# The browser tests run the joiner page (web/) in these, headless, with sets encrypted by age.
TEST_PACKAGES := chromium chromium-driver firefox-esr age
# CI (CI=true) builds with warnings as errors; a user's build only shows them.
WERROR   := $(if $(filter true,$(CI)),ON,OFF)
# make package (the .deb) and its installation test need these as well.
PACKAGING := dpkg-dev file lintian desktop-file-utils appstream shared-mime-info \
             libglib2.0-bin bash-completion
# Peers that the benchmarks measure against; only `make bench` installs them.
BENCH_PACKAGES := pigz p7zip-full par2
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps deps-test deps-package bench-deps build run test test-asan tidy package bench bench-large \
        format clean

all: build

# $(call install-missing,LIST): apt-get install the packages of LIST that are not installed.
define install-missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi
endef

deps:
	$(call install-missing,$(PACKAGES))

deps-test:
	$(call install-missing,$(TEST_PACKAGES))

deps-package:
	$(call install-missing,$(PACKAGING))

bench-deps:
	$(call install-missing,$(BENCH_PACKAGES))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPZ_WERROR=$(WERROR)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/parzello ]; then $(BUILD)/parzello; else $(BUILD)/parzello-cli --help; fi

test: build deps-test
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: deps deps-test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPZ_SANITIZE=ON -DPZ_WERROR=$(WERROR)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# clang-tidy with the repository's .clang-tidy over the project's own sources in the compile
# database; any finding fails. Clang's -Wconversion also warns of sign changes, which gcc's (the
# compiler that builds the program) leaves to -Wsign-conversion: not one of our flags. -Werror
# makes clang's own warnings findings in every build, not only in one configured as CI's.
tidy: build
	run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) -extra-arg=-Wno-sign-conversion -extra-arg=-Werror \
	  '^$(CURDIR)/(app|bench|cli|controls|crypt|engine|lang|platform|recovery|screens|tests|zip)/.*\.cpp$$'

# The Debian package: $(BUILD)/parzello_VERSION-1_ARCH.deb.
package: deps-package build
	cd $(BUILD) && cpack -G DEB

bench: build bench-deps deps-test
	bash bench/split_join.sh $(BUILD)
	bash bench/packed_split.sh $(BUILD)
	bash bench/recovery.sh $(BUILD)
	bash bench/joiner_memory.sh $(BUILD)
	bash bench/encrypted.sh $(BUILD)

# An 8 GiB file, past the 2 and 4 GiB bounds: three interleaved runs.
bench-large: build
	bash bench/split_join.sh $(BUILD) 3 8192

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan
