BUILD_DIR ?= build
CLANG_BUILD_DIR ?= build-clang
JOBS ?= $(shell nproc)

.PHONY: all deps configure build check-clang test check-faults run bench package check-package guide-pictures clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD_DIR)/build.ninja || cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The libraries and tests must build with clang as well as with GCC.
check-clang: deps
	@test -f $(CLANG_BUILD_DIR)/build.ninja || CXX=clang++ cmake -S . -B $(CLANG_BUILD_DIR) -G Ninja \
		-DCMAKE_BUILD_TYPE=Debug -DQUORIX_BUILD_BENCH=OFF
	cmake --build $(CLANG_BUILD_DIR) -j $(JOBS)

test: build check-clang
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Only the trials of interrupted loads (also part of test).
check-faults: build
	cd $(BUILD_DIR) && ctest --output-on-failure -L faults

run: build
	$(BUILD_DIR)/src/quorix

bench: build
	bench/run_all.sh $(BUILD_DIR)

# quorix_<version>_<arch>.deb in the build folder.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# Builds the package, installs it on this machine, runs it and removes it again (root or sudo).
check-package: package
	scripts/check-package $(BUILD_DIR)

# The pictures of the Japanese guide, made again from the real program under Xvfb.
guide-pictures: build
	scripts/make-guide-screenshots $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(CLANG_BUILD_DIR)
