# bash completion for orlune
_orlune() {
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur="${COMP_WORDS[COMP_CWORD]}"
        prev="${COMP_WORDS[COMP_CWORD-1]}"
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }
    local commands="gui update delete status utility settings select unhighlight render report verify check convert"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            -*) ;;
            *) command="${words[i]}"; break ;;
        esac
    done
    local designs='*.@(kicad_pro|kicad_sch|json)'
    if [[ -z "$command" ]]; then
        if [[ "$cur" == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version -q --quiet -v --verbose" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi
    case "$prev" in
        --page) COMPREPLY=($(compgen -W "main utils status settings" -- "$cur")); return ;;
        --format) COMPREPLY=($(compgen -W "text gcc" -- "$cur")); return ;;
        -o|--output) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --screenshot) COMPREPLY=($(compgen -f -X '!*.png' -- "$cur")); return ;;
        --style|--left|--right|--max-row|--sheet) return ;;
    esac
    local options="--help -q --quiet -v --verbose"
    case "$command" in
        gui) options+=" --screenshot --page" ;;
        update) options+=" --style --list" ;;
        status) options+=" --json" ;;
        settings) options+=" --left --right --max-row" ;;
        render) options+=" -o --output --sheet" ;;
        report) options+=" --json --csv" ;;
        verify) options+=" --format --layout" ;;
        convert) options+=" -o --output --force" ;;
        utility)
            if [[ "$cur" != -* && "$prev" == utility ]]; then
                COMPREPLY=($(compgen -W "highlight-one-row highlight-more-rows invert-highlighted invert-selected add-attribute" -- "$cur"))
                return
            fi ;;
    esac
    if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        local IFS=$'\n'
        shopt -s extglob
        COMPREPLY=($(compgen -f -X "!$designs" -- "$cur") $(compgen -d -- "$cur"))
        compopt -o filenames 2>/dev/null
    fi
}
complete -F _orlune orlune
