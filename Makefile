# The front door. `make check` installs what is missing, builds every preset and
# runs every tier of tests; any failing tier fails the command.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := cmake --build

.PHONY: check demo kit deps native native-tsan native-asan mingw mingw64 tiers clean

check: deps
	@rm -f build/tiers.txt
	@$(MAKE) --no-print-directory tiers; rc=$$?; \
	  echo; echo "=== summary"; cat build/tiers.txt 2>/dev/null; \
	  if [ $$rc -ne 0 ] || grep -q ' FAIL ' build/tiers.txt; then echo "make check: FAILED"; exit 1; fi; \
	  echo "make check: all tiers passed"

deps:
	@scripts/install-deps

# The installer at work on your display (or a private Xvfb): screenshots land in build/demo/.
# KIT=path runs it with a vendor's kit (its skin, strings and product name).
demo:
	@scripts/demo $(if $(KIT),--kit "$(KIT)")

# The release: build/kit/zarn-webinstaller-<version>/ and its zip. KIT=path embeds a
# vendor's kit, BRAND=brand.ini brands the installer, SIGN_PFX=cert.pfx with
# SIGN_PASS_FILE=pass.txt (and SIGN_TIMESTAMP_URL=...) signs the programs.
kit: deps
	@scripts/kit --kit "$(KIT)" --brand "$(BRAND)" --sign-pfx "$(SIGN_PFX)" --sign-pass-file "$(SIGN_PASS_FILE)" \
	  --sign-timestamp-url "$(SIGN_TIMESTAMP_URL)"

build/%/CMakeCache.txt:
	cmake --preset $* >/dev/null

native: build/native/CMakeCache.txt
	$(BUILD) build/native -j$(JOBS)
native-tsan: build/native-tsan/CMakeCache.txt
	$(BUILD) build/native-tsan -j$(JOBS)
native-asan: build/native-asan/CMakeCache.txt
	$(BUILD) build/native-asan -j$(JOBS)
native-release: build/native-release/CMakeCache.txt
	$(BUILD) build/native-release -j$(JOBS)
mingw: build/mingw/CMakeCache.txt
	$(BUILD) build/mingw -j$(JOBS)
mingw64: build/mingw64/CMakeCache.txt
	$(BUILD) build/mingw64 -j$(JOBS)

# The race detector has nothing to find where no second thread ever runs: the build's
# Python tooling and the XML library's tests (about half the tier's time) run in unit only.
TSAN_SKIP := ^(install_deps_test|check_imports_test|xml_test|xml_test_full_scanner|xml_load_test)$$

# Every tier runs even when an earlier one failed, so one run shows everything.
# The Windows tiers (scripts/windows-tiers) test the i686 build where this machine
# runs 32-bit programs, else the x86-64 build.
tiers:
	@rc=0; \
	$(MAKE) --no-print-directory native && { scripts/run-tier unit build/native '^unit$$' -j$(JOBS) || rc=1; \
	  scripts/run-tier net build/native '^net$$' -j$(JOBS) || rc=1; } || { echo "native  FAIL  build" >> build/tiers.txt; rc=1; }; \
	$(MAKE) --no-print-directory native-tsan && { scripts/run-tier tsan build/native-tsan '^(unit|net)$$' -j$(JOBS) -E '$(TSAN_SKIP)' || rc=1; } \
	  || { echo "tsan       FAIL  build" >> build/tiers.txt; rc=1; }; \
	$(MAKE) --no-print-directory build/native-asan/CMakeCache.txt && $(BUILD) build/native-asan -j$(JOBS) --target xml_fuzz \
	  && { scripts/run-tier fuzz build/native-asan '^fuzz$$' || rc=1; } || { echo "fuzz       FAIL  build" >> build/tiers.txt; rc=1; }; \
	JOBS=$(JOBS) scripts/windows-tiers || rc=1; \
	exit $$rc

clean:
	rm -rf build
