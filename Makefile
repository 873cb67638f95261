# make build | test | test-ansible | test-windows | demo | install | package | bench | fuzz |
# clean. Every target installs what it needs first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
CMAKE_ARGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all bootstrap build test test-unit test-asan demo install package bench fuzz clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B $(BUILD) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)

test-unit: build
	@cd $(BUILD) && ctest --output-on-failure -j2

test-asan: bootstrap
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_ARGS) -DTABRIX_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j2

# The tests of threads at once under ThreadSanitizer, in a build of their own.
TSAN_BUILD ?= build-tsan
.PHONY: test-tsan
test-tsan: bootstrap
	@cmake -S . -B $(TSAN_BUILD) $(CMAKE_ARGS) -DTABRIX_TSAN=ON >/dev/null
	@cmake --build $(TSAN_BUILD) --target installer_error_tests
	@cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R InstallerErrors

# The whole suite, then once more under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-unit test-asan

# The Windows build, cross-compiled with mingw-w64 for x86_64 and i686; the tests of both run
# under Wine in a private prefix inside the x86_64 build folder, the i686 ones with wine32.
# Both compilers and wine64 are needed; without wine32 the i686 tests are skipped, and the
# summary says so and why.
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
.PHONY: test-windows
test-windows:
	@scripts/bootstrap --windows
	@for c in x86_64-w64-mingw32-g++-win32 i686-w64-mingw32-g++-win32; do \
	  command -v $$c >/dev/null || { echo "test-windows: the compiler $$c is missing: scripts/bootstrap --windows said why" >&2; exit 1; }; \
	done
	@cmake -S . -B $(WIN64_BUILD) $(CMAKE_ARGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(WIN64_BUILD)
	@cmake -S . -B $(WIN32_BUILD) $(CMAKE_ARGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake >/dev/null
	@cmake --build $(WIN32_BUILD)
	@scripts/wine-test $(WIN64_BUILD) $(WIN32_BUILD)

# The Ansible module in contrib/ansible: playbooks run on this machine with Debian's
# ansible-core (scripts/bootstrap --ansible installs it) against the client just built, in a
# private ODBC folder.
.PHONY: test-ansible
test-ansible:
	@scripts/bootstrap --ansible
	@cmake -S . -B $(BUILD) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) --target tabrix
	@contrib/ansible/tests/run $(BUILD)

demo: build
	@scripts/demo $(BUILD)

# make install PREFIX=/usr/local DESTDIR=: the client, the libraries, headers, tabrix.pc, the
# CMake package, the man page, the completion and the documents under DESTDIR/PREFIX.
PREFIX ?= /usr/local
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package, $(BUILD)/tabrix_<version>_amd64.deb.
package: build
	@cmake --build $(BUILD) --target package

bench:
	@scripts/bootstrap --bench
	@cmake -S . -B $(BUILD)-bench $(CMAKE_ARGS) -DCMAKE_BUILD_TYPE=Release -DTABRIX_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench --target tabrix_bench tabrix tabrix_crash tabrix_execute_cost tabrix_bare \
	  tabrix_library_run tabrix_workbook_bench tabrix_dbf_bench tabrix_odbc_fetch tabrix_csv_floor \
	  tabrixodbc
	@bench/compare $(BUILD)-bench
	@bench/workbooks $(BUILD)-bench
	@bench/driver $(BUILD)-bench
	@bench/text-driver $(BUILD)-bench
	@bench/dbase $(BUILD)-bench

# The driver's benchmark alone: through unixODBC beside its floor and two peers.
.PHONY: bench-driver
bench-driver:
	@scripts/bootstrap --bench
	@cmake -S . -B $(BUILD)-bench $(CMAKE_ARGS) -DCMAKE_BUILD_TYPE=Release -DTABRIX_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench --target tabrix_workbook_bench tabrix_dbf_bench tabrix_odbc_fetch tabrix_csv_floor tabrixodbc
	@bench/driver $(BUILD)-bench
	@bench/text-driver $(BUILD)-bench
	@bench/dbase $(BUILD)-bench

# Each fuzz target (form-file reader, INI reader and writer, attribute lists, registry-file
# reader, the driver's .xlsx and .xls readers) for FUZZ_SECONDS under libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer; not part of make test (.ci/run runs each
# for a few seconds).
fuzz: bootstrap
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(WIN64_BUILD) $(WIN32_BUILD)
	rm -rf $(BUILD) $(ASAN_BUILD) $(BUILD)-bench $(FUZZ_BUILD)
