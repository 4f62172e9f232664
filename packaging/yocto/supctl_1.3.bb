# SPDX-License-Identifier: MIT
# supctl for images built with Yocto: the tool, the monitor, the library
# and its Python module, each a package of its own. cmake.bbclass builds it
# out of the source tree with Ninja and installs it unstripped; the
# packages are stripped when they are made. scripts/distro-builds builds
# the project this way in CI, with EXTRA_OECMAKE as it stands here.
SUMMARY = "Talk to the board's power supervisor over SPI"
DESCRIPTION = "supctl reads and sets the board's power supervisor through the \
kernel's spidev interface; supctl-monitor keeps the board safe on battery; \
libsupctl and its Python module give programs the same operations."
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://LICENSE;md5=2ade21060d885dae8f9d8d4a878ea5af"

# The checkout that holds this recipe. A layer that keeps a copy of the
# recipe fetches a release instead, with SRC_URI and SRCREV.
inherit externalsrc
EXTERNALSRC ?= "${@os.path.abspath(os.path.join(os.path.dirname(d.getVar('FILE')), '..', '..'))}"
EXTERNALSRC_BUILD ?= "${WORKDIR}/build"

inherit cmake systemd useradd python3-dir bash-completion

# The distribution hardens the build itself; the simulator needs umockdev,
# which images do not carry.
EXTRA_OECMAKE = " \
    -DBUILD_TESTING=OFF \
    -DSUPCTL_SIM=OFF \
    -DSUPCTL_HARDEN=OFF \
    -DSUPCTL_SYSTEMD_UNIT_DIR=${systemd_system_unitdir} \
    -DSUPCTL_SYSTEMD_SHUTDOWN_DIR=${systemd_unitdir}/system-shutdown \
    -DSUPCTL_UDEV_RULES_DIR=${nonarch_base_libdir}/udev/rules.d \
    -DSUPCTL_SYSUSERS_DIR=${nonarch_libdir}/sysusers.d \
    -DSUPCTL_PYTHON_DIR=${PYTHON_SITEPACKAGES_DIR} \
"

# supctl (the default package) keeps the tool, its udev rule and the
# sysusers.d file; the development files go to ${PN}-dev, the man pages to
# ${PN}-doc, the completions to ${PN}-bash-completion.
PACKAGES =+ "${PN}-monitor lib${BPN} python3-${BPN}"
FILES:${PN}-monitor = " \
    ${bindir}/supctl-monitor \
    ${systemd_system_unitdir}/supctl-monitor.service \
    ${systemd_unitdir}/system-shutdown/supctl-poweroff \
    ${sysconfdir}/default/supctl-monitor \
"
FILES:lib${BPN} = "${libdir}/libsupctl.so.*"
FILES:python3-${BPN} = "${PYTHON_SITEPACKAGES_DIR}/supctl"
FILES:${PN} += "${nonarch_libdir}/sysusers.d"
CONFFILES:${PN}-monitor = "${sysconfdir}/default/supctl-monitor"
RDEPENDS:${PN}-monitor = "${PN}"
RDEPENDS:python3-${BPN} = "lib${BPN} python3-core python3-ctypes"

# Installed, not enabled, as the Debian package has it.
SYSTEMD_PACKAGES = "${PN}-monitor"
SYSTEMD_SERVICE:${PN}-monitor = "supctl-monitor.service"
SYSTEMD_AUTO_ENABLE:${PN}-monitor = "disable"

# The group whose members may use the supervisor's device node.
USERADD_PACKAGES = "${PN}"
GROUPADD_PARAM:${PN} = "--system supctl"
