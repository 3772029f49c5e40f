# bash completion for sondrel-cli: commands, each command's options (read from its --help, so
# they never fall behind the program) and engine names (from "sondrel-cli engines").

_sondrel_cli_commands="compile engines config add show export query urlrule fetch search update verify download"

# The options one command's --help lists.
_sondrel_cli_options() {
    sondrel-cli "$@" --help 2>/dev/null | awk '/^  -/ {
        for (i = 1; i <= NF; i++) { w = $i; sub(/,$/, "", w); if (w ~ /^-/) print w; else break }
    }'
}

_sondrel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command="" i home=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --home) home=(--home "${COMP_WORDS[i+1]}"); ((i++)) ;;
            --) break ;;
            -*) ;;
            *) [[ -z $command ]] && command=${COMP_WORDS[i]} ;;
        esac
    done

    case $prev in
        --home|--dir|--fixtures)
            COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --db|--project|--export|-o|--cacert)
            COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --duplicates)
            COMPREPLY=($(compgen -W "keep remove" -- "$cur")); return ;;
        --filter)
            COMPREPLY=($(compgen -W "none name url" -- "$cur")); return ;;
        --engines|--engine|--enable|--disable|--test|--check)
            local IFS=$'\n' before="" last=$cur names
            # --engines takes NAME,NAME: complete the name after the last comma.
            if [[ $prev == --engines && $cur == *,* ]]; then
                before=${cur%,*},
                last=${cur##*,}
            fi
            names=$(sondrel-cli "${home[@]}" engines 2>/dev/null | cut -f1)
            COMPREPLY=($(compgen -P "$before" -W "$names" -- "$last"))
            COMPREPLY=("${COMPREPLY[@]// /\\ }")
            return ;;
    esac

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$_sondrel_cli_commands $(_sondrel_cli_options)" -- "$cur"))
    elif [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_sondrel_cli_options "$command")" -- "$cur"))
    else
        case $command in
            config)
                # The setting names, and engineKey.NAME for each engine.
                local IFS=$'\n' keys
                [[ $prev == config ]] || return
                keys=$(sondrel-cli "${home[@]}" config 2>/dev/null | cut -d= -f1
                       sondrel-cli "${home[@]}" engines 2>/dev/null | cut -f1 | sed 's/^/engineKey./')
                COMPREPLY=($(compgen -W "$keys" -- "$cur"))
                COMPREPLY=("${COMPREPLY[@]// /\\ }") ;;
            show|verify|add|export) COMPREPLY=($(compgen -f -- "$cur")) ;;
            compile) COMPREPLY=($(compgen -f -- "$cur")) ;;
        esac
    fi
}

complete -F _sondrel_cli sondrel-cli
