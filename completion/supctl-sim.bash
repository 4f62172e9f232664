# SPDX-License-Identifier: MIT
# bash completion for supctl-sim                              -*- shell-script -*-

_supctl_sim() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # From "--" on come the command and its arguments: bash-completion's
    # _command_offset completes them as the command's own completion does.
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            declare -F _command_offset >/dev/null && _command_offset $((i + 1))
            return
        fi
    done

    case $prev in
        -s | --state | --replay)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        -f | --fault)
            COMPREPLY=($(compgen -W "none silent transfer settings" -- "$cur"))
            return
            ;;
        -S | --set)
            # The keys are those of the state that supctl-sim itself prints.
            local keys
            keys=$("${COMP_WORDS[0]}" --reset --show 2>/dev/null | sed -n 's/^\([a-z_]*\) = .*/\1=/p')
            compopt -o nospace 2>/dev/null
            COMPREPLY=($(compgen -W "$keys" -- "$cur"))
            return
            ;;
    esac

    local options="-s -r -S -f -h --state --reset --set --fault --show --replay --fail-unrecorded --help"
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    fi
}

complete -F _supctl_sim supctl-sim
