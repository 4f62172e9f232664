# SPDX-License-Identifier: MIT
include $(BR2_EXTERNAL_SUPCTL_PATH)/supctl/supctl.mk
