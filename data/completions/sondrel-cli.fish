# fish completion for sondrel-cli: commands, each command's options (read from its --help) and
# engine names (from "sondrel-cli engines").

set -l sondrel_cli_commands compile engines config add show export query urlrule fetch search update verify download

function __sondrel_cli_command
    set -l words (commandline -opc)
    set -e words[1]
    set -l skip 0
    for word in $words
        if test $skip = 1
            set skip 0
            continue
        end
        switch $word
            case --home
                set skip 1
            case '--'
                return
            case '-*'
            case '*'
                echo $word
                return
        end
    end
end

function __sondrel_cli_options
    set -l command (__sondrel_cli_command)
    sondrel-cli $command --help 2>/dev/null | awk '/^  -/ {
        for (i = 1; i <= NF; i++) { w = $i; sub(/,$/, "", w); if (w ~ /^-/) print w; else break }
    }'
end

function __sondrel_cli_engines
    set -l words (commandline -opc)
    set -l home
    if set -l at (contains -i -- --home $words)
        set home --home $words[(math $at + 1)]
    end
    sondrel-cli $home engines 2>/dev/null | cut -f1
end

# The setting names, and engineKey.NAME for each engine.
function __sondrel_cli_config_keys
    set -l words (commandline -opc)
    set -l home
    if set -l at (contains -i -- --home $words)
        set home --home $words[(math $at + 1)]
    end
    sondrel-cli $home config 2>/dev/null | cut -d= -f1
    sondrel-cli $home engines 2>/dev/null | cut -f1 | sed 's/^/engineKey./'
end

function __sondrel_cli_after
    set -l words (commandline -opc)
    contains -- $words[-1] $argv
end

complete -c sondrel-cli -f
complete -c sondrel-cli -n "not __fish_seen_subcommand_from $sondrel_cli_commands" -a "$sondrel_cli_commands"
complete -c sondrel-cli -n 'string match -q -- "-*" (commandline -ct)' -a '(__sondrel_cli_options)'
complete -c sondrel-cli -n '__sondrel_cli_after --engines --engine --enable --disable --test --check' -a '(__sondrel_cli_engines)'
complete -c sondrel-cli -n '__sondrel_cli_after --duplicates' -a 'keep remove'
complete -c sondrel-cli -n '__sondrel_cli_after --filter' -a 'none name url'
complete -c sondrel-cli -n '__sondrel_cli_after --home --dir --fixtures' -a '(__fish_complete_directories)'
complete -c sondrel-cli -n '__sondrel_cli_after --db --project --export -o --cacert' -F
complete -c sondrel-cli -n "__fish_seen_subcommand_from show verify add export compile" -F
complete -c sondrel-cli -n '__sondrel_cli_after config' -a '(__sondrel_cli_config_keys)'
