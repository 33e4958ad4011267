# Quick start: `make run` builds and starts the program, `make test` builds and runs every test.
# Both install what they need from Debian's packages first (as root, or through sudo).

BUILD ?= build
CMAKE_FLAGS ?=
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PAQUETS_CONSTRUCTION := build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools \
	qt6-translations-l10n libxcb1-dev libxcb-randr0-dev libxcb-xinerama0-dev libgl-dev libglib2.0-dev libpng-dev
# Debian 13 and Ubuntu 24.04 renamed libfuse2 (64-bit time) and left fusermount to fuse3: asked of apt, once the
# build's install has fetched its lists, rather than of a list of releases.
PAQUETS_FUSE = $(if $(shell apt-cache show libfuse2t64 >/dev/null 2>&1 && echo t64),fuse3 libfuse2t64,fuse libfuse2)
PAQUETS_TESTS = xvfb xauth x11-utils x11-xserver-utils xserver-xephyr xdotool trayer imagemagick tesseract-ocr $(PAQUETS_FUSE) python3-fusepy \
	libnss-wrapper desktop-file-utils dunst libglib2.0-bin gsettings-desktop-schemas cinnamon-desktop-data mate-desktop-common xfconf libxfconf-0-3 dbus sway swaybg grim phoc python3-gi gir1.2-glib-2.0 \
	haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils
PAQUETS_BENCH := hyperfine feh xwallpaper strace

.PHONY: all run test bench bench-court deps deps-test deps-bench build clean install format-check

all: build

# apt runs only when a package is missing, so repeated runs cost a dpkg query.
define installer
	@manquants=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$manquants" ]; then \
		echo "Installing:" $$manquants; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$manquants; \
	fi
endef

deps:
	$(call installer,$(PAQUETS_CONSTRUCTION))

deps-test: deps
	$(call installer,$(PAQUETS_TESTS))

deps-bench: deps-test
	$(call installer,$(PAQUETS_BENCH))

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

run: build
	./$(BUILD)/src/app/papirol2

# The peers' command-line tools print non-ASCII names only in a UTF-8 locale.
test: deps-test build
	LANG=C.UTF-8 LC_ALL=C.UTF-8 ctest --test-dir $(BUILD) --output-on-failure -j2

bench: deps-bench build
	BUILD_WINDOWS=$(BUILD_WINDOWS) bench/tout.sh $(BUILD)

# Every benchmark once, small: that each still runs and prints figures (CI), not the figures themselves.
bench-court: deps-bench build
	BUILD_WINDOWS=$(BUILD_WINDOWS) bench/tout.sh $(BUILD) --court

# Fuzzing (fuzz/): a target per parser of outside input, built with clang and the sanitizers, run after every
# regression input once: FUZZ_SECONDES each from its seeds and what earlier runs found (`make fuzz`), or 30 s
# each (`make fuzz-court`, which CI runs).
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDES ?= 180
PAQUETS_FUZZ := clang-14 libclang-rt-14-dev imagemagick

.PHONY: fuzz fuzz-court
fuzz: deps
	$(call installer,$(PAQUETS_FUZZ))
	fuzz/lancer.sh $(BUILD_FUZZ) $(FUZZ_SECONDES)

fuzz-court:
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDES=30

install: build
	cmake --install $(BUILD)

format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)

# Real desktops (MATE, XFCE, KDE, LXQt; on Debian 13 also Plasma 6 and GNOME 48 on Wayland, labwc), each driven through
# its backend and, where a StatusNotifier host runs, the tray icon through it. Large installs (~400 MB
# downloaded), and root: the suite makes namespaces and a user of its own. Never part of `make test`.
BUILD_BUREAUX ?= build-bureaux
# Plasma 5 on X11 gets its second monitor from Xorg's dummy driver.
PAQUETS_BUREAUX := caja mate-desktop-common xfdesktop4 xfconf plasma-desktop qdbus-qt6 pcmanfm-qt \
	libglib2.0-bin libgl1-mesa-dri dbus-daemon xvfb xauth xdotool imagemagick python3-gi gir1.2-glib-2.0 \
	xserver-xorg-video-dummy
# Debian 13: Plasma 6 and GNOME 48 on Wayland with their StatusNotifier hosts, labwc with swaybg and waybar.
PAQUETS_BUREAUX_trixie := kwin-wayland plasma-workspace kded6 qt6-wayland gnome-shell gnome-shell-extension-appindicator \
	labwc swaybg grim waybar wlr-randr
CODENOM := $(shell . /etc/os-release 2>/dev/null && echo "$$VERSION_CODENAME")

.PHONY: test-bureaux
test-bureaux: deps
	$(call installer,$(PAQUETS_BUREAUX) $(PAQUETS_BUREAUX_$(CODENOM)))
	cmake -S . -B $(BUILD_BUREAUX) -G Ninja -DPAPIROL2_TESTS_BUREAUX=ON -DPAPIROL2_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_BUREAUX) --target appliquer papirol2
	# A desktop that fails to come up once right after its install gets a second start; a fault in us fails both.
	$(SUDO) ctest --test-dir $(BUILD_BUREAUX) -L bureaux-reels --output-on-failure --repeat until-pass:2

# Windows: one static Papirol2.exe, cross-built with MinGW-w64 against a static Qt 6.8 kept in a cache folder. That
# Qt takes host tools (moc, rcc, uic) of its own version and a MinGW of Debian 13: on another release the build
# runs in the Debian 13 root $(RACINE_TRIXIE) (below), in this clone itself, the cache being kept in the root.
# The cache is filled from a ready-made Qt when one lies beside the clone, else built from Debian's source
# (`make qt-windows-source`, about 30 minutes). Under Wine, on Xvfb, on this machine: `make test-windows`.
BUILD_WINDOWS ?= build-windows
QT_WINDOWS_VERSION := 6.8.2
QT_WINDOWS ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/papirol2/qt6-mingw-$(QT_WINDOWS_VERSION)
QT_WINDOWS_ARCHIVE ?= $(wildcard ../shared/windows/qt6-mingw-$(QT_WINDOWS_VERSION).tar.xz)
CMAKE_FLAGS_WINDOWS ?=
PAQUETS_WINDOWS := cmake ninja-build xz-utils g++-mingw-w64-x86-64-posix qt6-base-dev-tools qt6-base-dev \
	qt6-translations-l10n
PAQUETS_QT_SOURCE := dpkg-dev patch perl python3
PAQUETS_INSTALLATION := nsis
PAQUETS_WINE := cmake binutils wine wine64 xvfb xauth xserver-xephyr xdotool imagemagick tesseract-ocr tesseract-ocr-fra

.PHONY: windows windows-installer windows-tests qt-windows qt-windows-source test-windows bench-windows
ifeq ($(CODENOM),trixie)
qt-windows:
	$(call installer,$(PAQUETS_WINDOWS) $(if $(QT_WINDOWS_ARCHIVE),,$(PAQUETS_QT_SOURCE)))
	windows/qt-mingw.sh "$(QT_WINDOWS)" $(QT_WINDOWS_ARCHIVE)

qt-windows-source:
	rm -rf "$(QT_WINDOWS)"
	$(MAKE) --no-print-directory qt-windows QT_WINDOWS_ARCHIVE=

# A build folder set up against another Qt, or not set up to the end, is set up again.
windows: qt-windows
	test -e $(BUILD_WINDOWS)/build.ninja && grep -qsx 'CMAKE_TOOLCHAIN_FILE:[A-Z]*=$(QT_WINDOWS)/lib/cmake/Qt6/qt.toolchain.cmake' $(BUILD_WINDOWS)/CMakeCache.txt || \
	cmake --fresh -S . -B $(BUILD_WINDOWS) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAPIROL2_BENCH=OFF \
		-DCMAKE_TOOLCHAIN_FILE="$(QT_WINDOWS)/lib/cmake/Qt6/qt.toolchain.cmake" $(CMAKE_FLAGS_WINDOWS)
	cmake --build $(BUILD_WINDOWS) --target papirol2
	@ls -l $(BUILD_WINDOWS)/src/app/Papirol2.exe

# -> $(BUILD_WINDOWS)/Papirol2-<version>-installation.exe, the per-user installer (windows/installation.nsi).
windows-installer: windows
	$(call installer,$(PAQUETS_INSTALLATION))
	cmake --build $(BUILD_WINDOWS) --target installation
	@ls -l $(BUILD_WINDOWS)/Papirol2-*-installation.exe

# Everything else of the build folder: the tests.
windows-tests: windows-installer
	cmake --build $(BUILD_WINDOWS)
else
# The archive's folder is shown in the root at its own path; QT_WINDOWS, when given, names a folder in the root.
archive_windows = $(realpath $(QT_WINDOWS_ARCHIVE))
qt-windows qt-windows-source windows windows-installer windows-tests:
	$(SUDO) packaging/dans-racine.sh --sur-place $(if $(archive_windows),--lire $(dir $(archive_windows))) \
		$(RACINE_TRIXIE) make --no-print-directory $@ BUILD_WINDOWS=$(BUILD_WINDOWS) \
		QT_WINDOWS_ARCHIVE=$(archive_windows) CMAKE_FLAGS_WINDOWS='$(CMAKE_FLAGS_WINDOWS)' \
		$(if $(filter command line,$(origin QT_WINDOWS)),QT_WINDOWS=$(QT_WINDOWS))
endif

# Wine hides a redirected stdout from QtTest and the program: avec-wine.sh reads their reports from files.
test-windows: windows-tests
	$(call installer,$(PAQUETS_WINE))
	LANG=C.UTF-8 LC_ALL=C.UTF-8 tests/avec-wine.sh ctest --test-dir $(BUILD_WINDOWS) --output-on-failure -j2

bench-windows: windows
	$(call installer,$(PAQUETS_WINE))
	tests/avec-wine.sh bench/windows.sh $(BUILD_WINDOWS)/src/app/Papirol2.exe

# The Debian package, built apart in $(BUILD_DEB) as Debian builds its own: Debian's hardening flags, installed
# under /usr, with the screenshot of the tray menu that the AppStream metadata shows. `make test-deb` checks it
# with lintian, appstreamcli and desktop-file-validate, then installs, runs and removes it in a fresh root of
# this machine's release (mmdebstrap; the bare root and the downloads are kept in $(BUILD_DEB)/racine between
# runs). `make trixie-test-deb` does the same in Debian 13.
BUILD_DEB ?= build-deb
PAQUETS_DEB := dpkg-dev file xvfb xauth x11-utils xdotool trayer imagemagick
PAQUETS_TEST_DEB := lintian appstream desktop-file-utils mmdebstrap

.PHONY: deb test-deb
$(BUILD_DEB)/build.ninja:
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	cmake -S . -B $(BUILD_DEB) -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
		-DPAPIROL2_TESTS=OFF -DPAPIROL2_BENCH=OFF -DPAPIROL2_PAQUET=ON $(CMAKE_FLAGS)

deb: deps
	$(call installer,$(PAQUETS_DEB))
	$(MAKE) $(BUILD_DEB)/build.ninja
	cmake --build $(BUILD_DEB)
	rm -f $(BUILD_DEB)/papirol2_*.deb
	cd $(BUILD_DEB) && cpack -G DEB
	@ls -l $(BUILD_DEB)/papirol2_*.deb

test-deb: deb
	$(call installer,$(PAQUETS_TEST_DEB))
	lintian --fail-on error,warning $(BUILD_DEB)/papirol2_*.deb
	appstreamcli validate --no-net $(BUILD_DEB)/packaging/*.metainfo.xml
	desktop-file-validate src/app/papirol2.desktop
	$(SUDO) tests/avec-xvfb.sh --trayer packaging/essayer-paquet.sh $(BUILD_DEB)/papirol2_*.deb $(BUILD_DEB)/racine

# Debian 13 beside this machine's release: `make trixie-test` runs `make test` in a copy of the clone inside a
# Debian 13 root (packaging/dans-racine.sh), which the project's Makefile fills with that release's packages; the
# root is kept in $(RACINE_TRIXIE) between runs and made again when missing. The same for test-deb and
# test-bureaux; `make trixie` runs the three in one copy, as CI does.
RACINE_TRIXIE ?= /var/cache/papirol2/trixie

.PHONY: trixie trixie-test trixie-test-deb trixie-test-bureaux
trixie-test trixie-test-deb trixie-test-bureaux:
	$(SUDO) packaging/dans-racine.sh $(RACINE_TRIXIE) make $(@:trixie-%=%)
trixie:
	$(SUDO) packaging/dans-racine.sh $(RACINE_TRIXIE) .ci/etapes test test-bureaux test-deb
