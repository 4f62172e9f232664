# SPDX-License-Identifier: MIT
# The folders where systemd and udev look for the files the project
# installs: cache variables, so that cross builds and other distributions
# pass their own. A relative folder is taken under the install prefix, an
# absolute one as it is (DESTDIR goes before either). By default each is
# what the build machine's systemd.pc or udev.pc says; without them,
# Debian 12's. A cross build's pkg-config sees the target's folder only,
# which holds neither file, so it gets Debian 12's folders too.
find_package(PkgConfig QUIET)

# supctl_system_dir(VARIABLE MODULE PC_VARIABLE SUFFIX FALLBACK DOC)
function(supctl_system_dir variable module pc_variable suffix fallback doc)
  set(default ${fallback})
  if(PKG_CONFIG_FOUND)
    pkg_get_variable(found ${module} ${pc_variable})
    if(found)
      set(default ${found}${suffix})
    endif()
  endif()
  # STRING, not PATH: CMake makes a relative PATH given with -D absolute,
  # against the folder cmake runs in.
  set(${variable} ${default} CACHE STRING "${doc}")
endfunction()

supctl_system_dir(SUPCTL_SYSTEMD_UNIT_DIR systemd systemdsystemunitdir ""
  /lib/systemd/system "Folder of the monitor's systemd unit")
supctl_system_dir(SUPCTL_SYSTEMD_SHUTDOWN_DIR systemd systemdshutdowndir ""
  /lib/systemd/system-shutdown "Folder of systemd-shutdown's hooks (the power cut)")
supctl_system_dir(SUPCTL_UDEV_RULES_DIR udev udevdir /rules.d
  /lib/udev/rules.d "Folder of the udev rule that gives the supervisor's node to its group")
supctl_system_dir(SUPCTL_SYSUSERS_DIR systemd sysusersdir ""
  /usr/lib/sysusers.d "Folder of the sysusers.d file that creates that group")
