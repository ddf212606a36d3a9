# Bash completion for the toolkit's programs: bytequill, glyphmint, diskmason
# and diskquarry. Options are offered up to the first positional argument or
# "--", then file names for the positional arguments; --format offers its
# formats, -C, --directory and --extract offer folders only.
#
# The same file is installed under each program's name in
# share/bash-completion/completions, where bash-completion loads it when one
# of the programs is first completed; it may also be sourced by hand. It needs
# nothing but bash.

# Sets COMPREPLY to the words of list $1 that start with $2.
_retro_toolkit_words() {
    mapfile -t COMPREPLY < <(compgen -W "$1" -- "$2")
}

# Sets COMPREPLY to the files (-f) or folders (-d) whose names start with $2.
_retro_toolkit_paths() {
    mapfile -t COMPREPLY < <(compgen "$1" -- "$2")
    # Quote special characters and end folders with "/", as for any file
    # name (this fails harmlessly when called outside a completion).
    compopt -o filenames 2>/dev/null
}

_retro_toolkit() {
    local program=${COMP_WORDS[0]##*/}
    local options="-h --help --version -v --verbose -q --quiet --strict --"
    local valued=""  # the options that take a value
    case $program in
        diskmason)
            valued="--depfile --map -C --directory --format"
            options+=" --pad $valued" ;;
        diskquarry)
            valued="--extract --map --format"
            options+=" --check $valued" ;;
    esac

    # The words up to the cursor. Bash splits "--map=out" into "--map", "="
    # and "out": they are joined again.
    local -a words=()
    local i word glue=""
    for ((i = 1; i <= COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $glue ]]; then
            words[-1]+=$word
            glue=""
        elif [[ $word == = && ${#words[@]} -gt 0 && ${words[-1]} == --?* ]]; then
            words[-1]+==
            glue=1
        else
            words+=("$word")
        fi
    done
    local cur=${words[-1]}

    # What the words before the cursor are: options (and their values) up to
    # "--" or the first positional argument, positional arguments after.
    local in_options=1 positionals=0 value_of=""
    for word in "${words[@]:0:${#words[@]}-1}"; do
        if [[ $value_of ]]; then
            value_of=""
        elif ((in_options)) && [[ $word == -- ]]; then
            in_options=0
        elif ((in_options)) && [[ " $options " == *" $word "* || $word == --?* ]]; then
            [[ " $valued " == *" $word "* ]] && value_of=$word
        else
            in_options=0
            ((positionals++))
        fi
    done

    # The value of an option, given as the next word or after "=".
    local option=$value_of value=$cur prefix=""
    if [[ ! $option ]] && ((in_options)) && [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        value=${cur#*=}
        [[ " $valued " == *" $option "* ]] || option=--none
        # The word under the cursor still holds "--option=" when "=" does not
        # split words (COMP_WORDBREAKS): the candidates must hold it too.
        [[ ${COMP_WORDS[COMP_CWORD]} == --*=* ]] && prefix=$option=
    fi
    if [[ $option ]]; then
        COMPREPLY=()
        case $option in
            --format) _retro_toolkit_words "dcp raw d88" "$value" ;;
            -C | --directory | --extract) _retro_toolkit_paths -d "$value" ;;
            --depfile) _retro_toolkit_paths -f "$value" ;;
            --map)
                _retro_toolkit_paths -f "$value"
                [[ $value == "" || $value == - ]] && COMPREPLY+=(-) ;;
        esac
        [[ $prefix ]] && COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
        return 0
    fi

    if ((in_options)) && [[ $cur == -* ]]; then
        _retro_toolkit_words "$options" "$cur"
        return 0
    fi

    # A positional argument: the one after those before the cursor.
    COMPREPLY=()
    case $program:$((positionals + 1)) in
        bytequill:[12] | glyphmint:[12] | diskmason:[12] | diskquarry:1)
            _retro_toolkit_paths -f "$cur" ;;
        glyphmint:3)
            _retro_toolkit_words 1 "$cur" ;;
    esac
    return 0
}

complete -F _retro_toolkit bytequill glyphmint diskmason diskquarry
