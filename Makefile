# The two commands: `make run` (the demo) and `make test` (every test).
BUILD ?= build
JOBS ?= 2
# make build ARCH=x64|aa64|ia32: that architecture's three images alone; all
# three by default. `make run ARCH=...` runs the demo on its firmware.
ARCH ?=

.PHONY: all deps build test run clean lint bench sign stick release

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD) -j $(JOBS) $(if $(ARCH),--target vistrel_images_$(ARCH))

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# clang-tidy and cppcheck; `make test` runs it too (the CTest test `lint`).
lint: deps
	@scripts/lint.sh

# make run [RTC=2024-01-15T10:30:45] [GUI=1] [OUT=dir] [HOTKEY=1 | STICK=1 | FORMS=1 | STICK=1 FORMS=1] [ARCH=aa64|ia32]:
# a fixed clock for the file name, QEMU's window when a display is there,
# where the capture goes; the hotkey driver at the shell and on the front page
# instead, or the USB stick booted from the firmware's menu, or the forms
# tool's walk of every settings form, its folder copied into OUT (both: F at
# the stick's launcher, the walk from there); another architecture's images
# on its own firmware (AAVMF, OVMF32).
RTC ?=
GUI ?=
OUT ?= out
HOTKEY ?=
STICK ?=
FORMS ?=
run: build
	@scripts/demo.sh $(BUILD)/$(if $(filter-out x64,$(ARCH)),$(ARCH)/)vistrel.efi --arch $(or $(ARCH),x64) --out "$(OUT)" $(if $(RTC),--rtc "$(RTC)") $(if $(filter 1 yes on,$(GUI)),--gui) $(if $(filter 1 yes on,$(HOTKEY)),--hotkey) $(if $(filter 1 yes on,$(STICK)),--stick $(BUILD)/vistrel-stick.img) $(if $(filter 1 yes on,$(FORMS)),--forms)

# The BMP encoder's kernels against memcpy on 800x600, full-HD and 4K frames,
# "ratio: X.XX" (encoder / memcpy, medians, 800x600, the kernel this processor
# gets); then the driver's PNG encoder against libpng on two full-HD frames,
# "png-time-ratio: X.XX" and "png-size-ratio: X.XX" last (see README).
bench: build
	@cmake --build $(BUILD) -j $(JOBS) --target vistrel_bench
	@$(BUILD)/bench/vistrel_bench

# make sign KEY=key.pem CERT=cert.pem: vistrel.signed.efi,
# vistrel-hotkey.signed.efi, vistrel-launcher.signed.efi and
# vistrel-forms.signed.efi beside each image, in $(BUILD) and in $(BUILD)/aa64
# and $(BUILD)/ia32 (those of ARCH alone when it is given).
SIGN_DIRS = $(foreach arch,$(or $(ARCH),x64 aa64 ia32),$(BUILD)$(if $(filter-out x64,$(arch)),/$(arch)))
sign: build
	@if [ -z "$(KEY)" ] || [ -z "$(CERT)" ]; then echo "usage: make sign KEY=key.pem CERT=cert.pem" >&2; exit 2; fi
	@for dir in $(SIGN_DIRS); do \
	  for image in vistrel vistrel-hotkey vistrel-launcher vistrel-forms; do \
	    scripts/sign.sh "$(KEY)" "$(CERT)" $$dir/$$image.efi $$dir/$$image.signed.efi || exit 1; \
	  done; \
	done

# The USB stick: $(BUILD)/vistrel-stick.img and $(BUILD)/vistrel-VERSION.zip
# (every build makes them); with KEY=key.pem CERT=cert.pem also
# $(BUILD)/vistrel-stick-signed.img, every image on it signed by `make sign`.
stick: build
	@if [ -n "$(KEY)$(CERT)" ]; then \
	  $(MAKE) --no-print-directory sign KEY="$(KEY)" CERT="$(CERT)" ARCH= && \
	  cmake --build $(BUILD) --target vistrel_stick_signed; \
	fi

# The release files in dist/, as every build writes them to $(BUILD)/dist/:
# vistrel-stick-VERSION.img.gz (the stick's image by its name and version, which
# image writers open as it is), vistrel-VERSION.zip and SHA256SUMS. Files of
# other names already in dist/ stay. Every architecture's, whatever ARCH says.
release:
	@$(MAKE) --no-print-directory build ARCH=
	@mkdir -p dist
	@cp $(BUILD)/dist/* dist/
	@echo "release: dist/ ($$(cd $(BUILD)/dist && echo *))"

clean:
	rm -rf $(BUILD) out
