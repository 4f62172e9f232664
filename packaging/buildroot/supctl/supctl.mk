# SPDX-License-Identifier: MIT
################################################################################
#
# supctl
#
################################################################################
# Built in its source folder, as cmake-package builds by default, and
# installed into the target (and the staging folder, for programs that
# link libsupctl). scripts/distro-builds builds the project this way in CI,
# with SUPCTL_CONF_OPTS as this file makes it.

SUPCTL_VERSION = 1.3
# The checkout that holds this package; a copy of it fetches a release.
SUPCTL_SITE = $(BR2_EXTERNAL_SUPCTL_PATH)/../..
SUPCTL_SITE_METHOD = local
SUPCTL_LICENSE = MIT
SUPCTL_LICENSE_FILES = LICENSE
SUPCTL_INSTALL_STAGING = YES

# Buildroot hardens the build itself; the simulator needs umockdev, which
# boards do not carry.
SUPCTL_CONF_OPTS = \
	-DSUPCTL_SIM=OFF \
	-DSUPCTL_HARDEN=OFF \
	-DSUPCTL_SYSTEMD_UNIT_DIR=/usr/lib/systemd/system \
	-DSUPCTL_SYSTEMD_SHUTDOWN_DIR=/usr/lib/systemd/system-shutdown \
	-DSUPCTL_UDEV_RULES_DIR=/usr/lib/udev/rules.d \
	-DSUPCTL_SYSUSERS_DIR=/usr/lib/sysusers.d \
	-DSUPCTL_PYTHON_DIR=/usr/lib/python$(PYTHON3_VERSION_MAJOR)/site-packages

ifeq ($(BR2_PACKAGE_SUPCTL_MONITOR),y)
SUPCTL_CONF_OPTS += -DSUPCTL_MONITOR=ON
else
SUPCTL_CONF_OPTS += -DSUPCTL_MONITOR=OFF
endif

ifeq ($(BR2_PACKAGE_SUPCTL_PYTHON),y)
SUPCTL_CONF_OPTS += -DSUPCTL_PYTHON=ON
else
SUPCTL_CONF_OPTS += -DSUPCTL_PYTHON=OFF
endif

# The group whose members may use the supervisor's device node.
SUPCTL_USERS = - - supctl -1 * - - - Access to the power supervisor

$(eval $(cmake-package))
