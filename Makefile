# The two commands a user needs: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)
# `make run SOURCE=synthetic`: demo prices from a random walk, for machines without internet.
SOURCE ?= live

.PHONY: run test test-asan test-tsan bench bench-serve bench-footprint fuzz format deps package \
	test-desktops test-installed test-debian13 gnome-extension-zips

deps:
	@scripts/install-deps.sh

run: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target mintlux mintlux-pricing
	scripts/run.sh build/dev $(SOURCE)

test: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev -j $(JOBS)

# The title integrations in real desktop hosts (GNOME Shell, Xfce's panel, Plasma's widget
# viewer) against the real app; their packages are large, so `make test` leaves them out.
test-desktops: deps
	@scripts/install-deps.sh desktops
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target mintlux_desktops_app mintlux-title
	tests/desktops/hosts.py build/dev

# The .deb of the dev build installed with apt (as root), then the installed app, title reader,
# extension and widget tried in this release's desktop hosts.
test-installed: deps
	@scripts/install-deps.sh desktops
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target mintlux mintlux-pricing mintlux-title mintlux_icons mintlux_docs
	rm -rf build/dev/deb && cd build/dev && cpack -G DEB -B deb
	apt-get install -y -qq --reinstall ./build/dev/deb/mintlux_*.deb
	tests/desktops/hosts.py --installed build/dev

# Debian 13 beside this machine's release: a root made with debootstrap and kept under /var/tmp
# (scripts/debian13.sh) builds this tree with its own scripts, runs `make test` there, installs
# the .deb built there and drives it in that release's desktop hosts.
test-debian13:
	scripts/debian13.sh make test test-installed

# The GNOME Shell extension as extensions.gnome.org takes it, one zip per shell API family:
# build/dev/mintlux@mintlux.org.shell-43-44.zip and …shell-45-48.zip.
gnome-extension-zips: deps
	cmake --preset dev
	cmake --build --preset dev --target gnome-extension-zips

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# ThreadSanitizer on the suites whose code runs on more than one thread: the service, pricing
# and persistence. Only their targets are built (the preset names them).
test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do echo "== $$b"; $$b; done

# The release app's idle memory and wake-ups beside the smallest Qt tray app, under Xvfb in
# xfce4-panel's status tray; medians of several runs of two minutes (about 12 minutes).
bench-footprint: deps
	@scripts/install-deps.sh desktops
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target mintlux mintlux-pricing minimal_tray_app
	bench/footprint/footprint.py build/release $(FOOTPRINT_ARGS)

# Serving figures: the service against nginx serving the same bytes, and behind nginx's cache,
# at 50 and 1,500 connections (wrk).
bench-serve: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target mintlux-pricing
	bench/serve.sh

package: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target mintlux mintlux-pricing mintlux-title mintlux_icons mintlux_docs
	cd build/release && cpack
	@ls build/release/*.deb

fuzz:
	@scripts/install-deps.sh fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target fuzz_wire_decoder fuzz_price_display fuzz_alert_rules
	@mkdir -p build/fuzz/corpus/wire
	@echo "Run e.g.: build/fuzz/fuzz/fuzz_wire_decoder -max_total_time=600 build/fuzz/corpus/wire fuzz/corpus/wire"
	@echo "(new inputs go to the first directory, so the checked-in seeds stay as they are)"
	@echo "Every accepted document on every surface: build/fuzz/fuzz/fuzz_price_display -max_total_time=600 build/fuzz/corpus/wire fuzz/corpus/wire"
	@mkdir -p build/fuzz/corpus/alerts
	@echo "Stored alert rules: build/fuzz/fuzz/fuzz_alert_rules -max_total_time=600 build/fuzz/corpus/alerts fuzz/corpus/alerts"

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i
