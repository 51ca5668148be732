# The two commands: `make run` (the demo) and `make test` (every test).
BUILD ?= build
JOBS ?= 2

.PHONY: all deps build test run clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@scripts/demo.sh $(BUILD)/vistrel.efi

clean:
	rm -rf $(BUILD) out
