# What the registry scenarios share: regedit's exports and their comparison.
# Sourced; the caller defines wine_ (a program in its prefix), win (the
# Windows folder the exports go to) and fail.

# export_keys NAME KEY...: regedit's export of each key, $win\NAME-0.reg,
# NAME-1.reg...
export_keys() {
    name=$1; shift
    i=0
    for key in "$@"; do
        wine_ regedit /e "$win\\$name-$i.reg" "$key" || fail "regedit /e $key"
        i=$((i + 1))
    done
}

# same A B: the exports A-N.reg and B-N.reg (host paths) are identical; a
# difference is shown.
same() {
    for a in "$1"-*.reg; do
        b=$2-${a##*-}
        cmp -s "$a" "$b" && continue
        fail "${a##*/} and ${b##*/} differ:"
        iconv -f UTF-16LE -t UTF-8 "$b" > "$b.txt"
        iconv -f UTF-16LE -t UTF-8 "$a" | diff - "$b.txt"
    done
}
