#!/usr/bin/env bash
# Asks bash for completions of lonctl command lines, the way a TAB press does: loads
# bash-completion and the completion file, sets COMP_WORDS/COMP_CWORD/COMP_LINE/COMP_POINT
# and calls the function `complete -p lonctl` names, then checks COMPREPLY.
#   completion.sh LONCTL COMPLETION_FILE FIXTURES_FOLDER
# LONCTL runs as "lonctl" from a folder of its own on PATH; its environment is the test's
# own (HOME, XDG folders, an interfaces file and a LONSIM_PATH folder of the fixtures).
set -euo pipefail
lonctl=$(realpath "$1")
completion_file=$(realpath "$2")
fixtures=$(realpath "$3")
bash_completion=/usr/share/bash-completion/bash_completion
[[ -r $bash_completion ]] || { echo "bash-completion is not installed ($bash_completion)"; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/home" "$scratch/work/out-folder" "$scratch/networks"
ln -s "$lonctl" "$scratch/bin/lonctl"
touch "$scratch/work/out-file.bin"
cp "$fixtures/networks/small.json" "$scratch/networks/Boiler.json"

failures=0
check() {   # check DESCRIPTION EXPECTED ACTUAL
    if [[ $2 == "$3" ]]; then
        echo "ok: $1"
    else
        echo "FAIL: $1"
        echo "  expected: $2"
        echo "  got:      $3"
        failures=$((failures + 1))
    fi
}

# complete LINE: the sorted completions, one line, for the cursor at the end of LINE.
complete_line() {
    (
        cd "$scratch/work"
        exec env -i PATH="$scratch/bin:/usr/bin:/bin" HOME="$scratch/home" LC_ALL=C.UTF-8 \
            XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" \
            XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/home" \
            LDV_INTERFACES="$fixtures/interfaces/interfaces.json" LONSIM_PATH="$scratch/networks" \
            timeout 60 bash --norc --noprofile -c '
                source "$1" && source "$2" || exit 3
                line=$3
                read -r -a COMP_WORDS <<<"$line"
                [[ $line == *" " ]] && COMP_WORDS+=("")
                COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
                COMP_LINE=$line
                COMP_POINT=${#line}
                registration=$(complete -p lonctl) || exit 4
                function=${registration#*-F }
                function=${function%% *}
                "$function" lonctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
                printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "
            ' completion "$bash_completion" "$completion_file" "$1"
    ) | sed 's/ $//'
}

# The commands as lonctl itself names them when it is given an unknown one.
commands=$({ "$lonctl" no-such-command 2>&1 || true; } | sed -n 's/.*Commands: \(.*\)\.$/\1/p' | tr -d ',' |
           tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')
[[ $commands == *write* ]] || { echo "lonctl did not list its commands"; exit 1; }
expected_first=$(printf '%s\n' $commands help | sort | tr '\n' ' ' | sed 's/ $//')

check "every command after lonctl" "$expected_first" "$(complete_line 'lonctl ')"
check "a command from its beginning" "write" "$(complete_line 'lonctl wr')"
check "the general options" "--help --version" "$(complete_line 'lonctl --')"
check "help takes a command" "watch write" "$(complete_line 'lonctl help w')"

write_options=$(complete_line 'lonctl write --site Plant --')
for option in --site --interface --object-value --state --json --timeout --domain0-id; do
    check "write offers $option" yes "$([[ " $write_options " == *" $option "* ]] && echo yes || echo no)"
done
check "write does not offer watch's --cycles" no \
    "$([[ " $write_options " == *" --cycles "* ]] && echo yes || echo no)"
check "options of watch from a prefix" "--cycles" "$(complete_line 'lonctl watch --cy')"
check "an offline command has no site options" "--at" "$(complete_line 'lonctl expand --a')"

check "interface names: file entries, LON1 and LONSIM_PATH" "Boiler DEMO LON1 LONIP LONIP-U PLANT" \
    "$(complete_line 'lonctl status --site Plant --interface ')"
check "interface names from a prefix" "LONIP LONIP-U" "$(complete_line 'lonctl read --interface LONI')"
check "interface names after --interface=" "PLANT" "$(complete_line 'lonctl read --interface=PL')"
check "state values" "off on" "$(complete_line 'lonctl write --state ')"
check "nothing for the free text of --site" "" "$(complete_line 'lonctl read --site ')"
check "nothing for --timeout's number" "" "$(complete_line 'lonctl discover --timeout ')"
check "file names for --output" "out-file.bin out-folder" "$(complete_line 'lonctl file -o out')"
check "nothing after an unknown command" "" "$(complete_line 'lonctl nosuch --')"

if ((failures)); then
    echo "$failures failed"
    exit 1
fi
echo "all completions as expected"
