# bash completion for aucal: subcommands and their options, read from the
# help of the aucal being completed, so they always match it.
_aucal() {
    local cur=${COMP_WORDS[COMP_CWORD]} program=${COMP_WORDS[0]} command="" word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case $word in -*) ;; *) command=$word; break ;; esac
    done
    local words
    if [[ -z $command && $cur != -* ]]; then
        words=$("$program" --help 2>/dev/null | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
    elif [[ $cur == -* ]]; then
        # Option lines: "  -d,--driver TEXT:{...}=scan", "  --real-scanner{false}".
        words=$("$program" $command --help 2>/dev/null | grep -oE '^ +-[^ ]+' | tr ',' '\n' | sed -e 's/^ *//' -e 's/[{=:].*//')
    else
        COMPREPLY=($(compgen -f -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}
complete -o filenames -F _aucal aucal
