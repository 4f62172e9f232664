# SPDX-License-Identifier: MIT
# bash completion for supctl-monitor                          -*- shell-script -*-

_supctl_monitor() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    case $prev in
        -d | --dev)
            local devices
            devices=$(compgen -G "/dev/spidev*")
            if [[ -n $devices ]]; then
                COMPREPLY=($(compgen -W "$devices" -- "$cur"))
            else
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -f -- "$cur"))
            fi
            return
            ;;
        -n | --nut | --metrics)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --hooks-dir)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        -x | --exec | -s | --shutdown)
            COMPREPLY=($(compgen -c -- "$cur"))
            return
            ;;
        -i | --interval | -P | --poweroff | --runtime-low | --on-battery-max | --voltage-low)
            return
            ;;
    esac

    local options="-d -i -x -s -P -n -j -v -h -V --dev --interval --exec --shutdown
        --no-shutdown --poweroff --nut --hooks-dir --metrics --once --json --mark-stopped --verbose
        --help --version --runtime-low --on-battery-max --voltage-low --forceshutdown"
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    fi
}

complete -F _supctl_monitor supctl-monitor
