# Quick start: `make run` builds and starts the program, `make test` builds and runs every test.
# Both install what they need from Debian's packages first (as root, or through sudo).

BUILD ?= build
CMAKE_FLAGS ?=
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PAQUETS_CONSTRUCTION := build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools \
	qt6-translations-l10n libxcb1-dev libxcb-randr0-dev libxcb-xinerama0-dev libgl-dev libglib2.0-dev
PAQUETS_TESTS := xvfb xauth x11-utils x11-xserver-utils xserver-xephyr xdotool trayer imagemagick fuse libfuse2 python3-fusepy \
	libglib2.0-bin gsettings-desktop-schemas cinnamon-desktop-data mate-desktop-common xfconf libxfconf-0-3 dbus sway swaybg grim phoc
PAQUETS_BENCH := hyperfine feh xwallpaper strace

.PHONY: all run test bench deps deps-test deps-bench build clean install format-check verifier-windows

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
	bench/tout.sh $(BUILD)

install: build
	cmake --install $(BUILD)

format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)

# Real desktops (MATE, XFCE, KDE, GNOME, LXQt) under Xvfb, each driven through its backend. Large installs (~400 MB
# downloaded), and root: the suite makes namespaces and a user of its own. Never part of `make test`.
BUILD_BUREAUX ?= build-bureaux
PAQUETS_BUREAUX := caja mate-desktop-common xfdesktop4 xfconf plasma-desktop qdbus-qt6 gnome-shell pcmanfm-qt \
	libglib2.0-bin libgl1-mesa-dri dbus-daemon xvfb xauth xdotool imagemagick

.PHONY: test-bureaux
test-bureaux: deps
	$(call installer,$(PAQUETS_BUREAUX))
	cmake -S . -B $(BUILD_BUREAUX) -G Ninja -DPAPIROL2_TESTS_BUREAUX=ON -DPAPIROL2_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_BUREAUX) --target appliquer reconnaitre
	$(SUDO) tests/bureaux-reels/tout.sh $(BUILD_BUREAUX)

# Debian has no Qt for Windows, so no Windows build can be made here. Every file a Windows build compiles is at
# least compiled for Windows, syntax only, by MinGW against Qt's headers (they follow the target's macros), and
# the version resource by windres.
SOURCES_WINDOWS = $(filter-out src/desktop/%,$(shell git ls-files 'src/*.cpp')) \
	$(addprefix src/desktop/,bureau.cpp bureaunul.cpp choixbureau.cpp styleposition.cpp bureauwindows.cpp)
verifier-windows: deps
	$(call installer,g++-mingw-w64-x86-64-posix)
	@qt=$$(pkg-config --variable=includedir Qt6Core); \
	for f in $(SOURCES_WINDOWS); do \
		x86_64-w64-mingw32-g++-posix -std=c++17 -fsyntax-only -Wall -Wextra -DQT_NO_CAST_FROM_ASCII \
			-DQT_NO_FOREACH -DQT_NO_URL_CAST_FROM_STRING -Isrc -isystem $$qt -isystem $$qt/QtCore \
			-isystem $$qt/QtGui -isystem $$qt/QtWidgets $$f || exit 1; \
	done; echo "$(words $(SOURCES_WINDOWS)) files compile for Windows"
	cd src/app && x86_64-w64-mingw32-windres papirol2.rc -O coff -o /dev/null && echo "papirol2.rc compiles"

# The Debian package, built apart in $(BUILD_DEB) as Debian builds its own: Debian's hardening flags, installed
# under /usr, with the screenshot of the tray menu that the AppStream metadata shows. `make test-deb` checks it
# with lintian, appstreamcli and desktop-file-validate, then installs, runs and removes it in a fresh Debian 12
# root (mmdebstrap; the bare root and the downloads are kept in $(BUILD_DEB)/racine between runs).
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
