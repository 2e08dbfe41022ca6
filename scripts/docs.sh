#!/usr/bin/env bash
# Gathers the manual block that opens every plugin and shader source into docs/plugins.md.
#   scripts/docs.sh                  writes docs/plugins.md
#   scripts/docs.sh --check          exits 1, naming the file, when docs/plugins.md is not what
#                                    the sources give now (the test suite runs this)
#   scripts/docs.sh [--check] FILE   the same with FILE in place of docs/plugins.md
# The block's layout is in docs/plugins.md's opening lines; tests/project checks every source
# follows it. Bash, sed and awk only: the CI machines have no python.
set -euo pipefail
export LC_ALL=C

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

check=0
case "${1:-}" in
    --check) check=1; shift ;;
    --help|-h) sed -n '2,8p' "$0"; exit 0 ;;
esac
[ $# -le 1 ] || { echo "docs.sh: one output file at most" >&2; exit 2; }
shown="${1:-docs/plugins.md}"
case "$shown" in
    /*) out="$shown" ;;
    *) out="$(if [ $# -eq 1 ]; then pwd; else echo "$root"; fi)/$shown" ;;
esac

# The entry of every plugin and shader: <top>/<kind>/<name>.cpp, or <top>/<kind>/<name>/<name>.cpp
# for a plugin made of a folder; a shader in the shading language is <name>.sl.
sources() {
    local kind entry name
    for kind in "$root"/plugins/*/ "$root"/shaders/*/; do
        for entry in "$kind"*; do
            name="$(basename "$entry")"
            if [ -f "$entry" ] && { [ "${name%.cpp}" != "$name" ] || [ "${name%.sl}" != "$name" ]; }; then
                echo "${entry#"$root"/}"
            elif [ -d "$entry" ] && [ -f "$entry/$name.cpp" ]; then
                echo "${entry#"$root"/}/$name.cpp"
            fi
        done
    done | sort
}

title() {
    case "$1" in
        plugins/accelerators) echo "Accelerators" ;;
        plugins/bucketorders) echo "Bucket orders" ;;
        plugins/cameras) echo "Cameras" ;;
        plugins/filters) echo "Pixel filters" ;;
        plugins/generators) echo "Scene readers" ;;
        plugins/samplers) echo "Samplers" ;;
        plugins/shapes) echo "Shapes" ;;
        plugins/solids) echo "Solids" ;;
        shaders/light) echo "Light shaders" ;;
        shaders/surface) echo "Surface shaders" ;;
        shaders/volume) echo "Volume shaders" ;;
        shaders/displacement) echo "Displacement shaders" ;;
        shaders/imager) echo "Imager shaders" ;;
        *) echo "$1" ;;
    esac
}

# "Light shaders" -> "light-shaders", the anchor Markdown viewers give the heading.
anchor() { echo "$1" | tr 'A-Z ' 'a-z-'; }

stem() { local b; b="$(basename "$1" .cpp)"; basename "$b" .sl; }

# One section from the leading comment block of one source. The block reads
#   // <name>: <summary>          then "//", free text, "//",
#   // Parameters:                and a table whose first line names the columns
#   //   type  name  default  meaning
#   //   ...                       rows; a row with only a meaning continues the one above
#   // Parameters: none            in place of the table
#   //
#   // Example:
#   //   <scene-file lines>        to the end of the block
# A block that strays from it still gives a section, so that nothing is left out.
section_awk='
function trim(s) { sub(/^ +/, "", s); sub(/ +$/, "", s); return s }
# Markdown escapes outside `code` spans; `cell` also escapes the table bar.
function esc(s, cell,   n, part, i, r) {
    n = split(s, part, "`")
    r = ""
    for (i = 1; i <= n; i++) {
        if (i % 2 == 1) {
            gsub(/\*/, "\\*", part[i])
            gsub(/</, "\\&lt;", part[i])
            gsub(/>/, "\\&gt;", part[i])
            if (cell) gsub(/\|/, "\\|", part[i])
        }
        r = r (i > 1 ? "`" : "") part[i]
    }
    return r
}
function add(buf, line) { return buf == "" ? line : buf "\n" line }
# Paragraphs as written, without blank lines at either end or two in a row.
function paragraphs(buf,   n, l, i, r, blank) {
    n = split(buf, l, "\n")
    r = ""
    blank = 0
    for (i = 1; i <= n; i++) {
        if (trim(l[i]) == "") { blank = (r != ""); continue }
        r = r (r == "" ? "" : (blank ? "\n\n" : "\n")) esc(l[i], 0)
        blank = 0
    }
    return r
}
function code(buf) { return "```\n" buf "\n```" }
!/^\/\// { ended = 1 }
ended { next }
{
    line = $0
    sub(/^\/\/ ?/, "", line)
    if (FNR == 1) {
        summary = index(line, stem ": ") == 1 ? substr(line, length(stem) + 3) : line
        next
    }
    if (state == "example") { sub(/^  /, "", line); example = add(example, line); next }
    if (line == "Example:") { state = "example"; next }
    if (state == "" || state == "after") {
        if (line == "Parameters: none") { params = "none"; state = "after"; next }
        if (line == "Parameters:") { params = "table"; state = "header"; next }
        if (state == "") text = add(text, line); else after = add(after, line)
        next
    }
    if (state == "header") {
        if (line ~ /^ +type +name +default +meaning *$/) {
            pt = index(line, "type"); pn = index(line, " name") + 1
            pd = index(line, " default") + 1; pm = index(line, " meaning") + 1
            state = "rows"
        } else {
            params = "raw"; raw = line; state = "raw"
        }
        next
    }
    if (trim(line) == "") { state = "after"; next }
    if (state == "raw") { raw = add(raw, line); next }
    t = trim(substr(line, pt, pn - pt)); nm = trim(substr(line, pn, pd - pn))
    d = trim(substr(line, pd, pm - pd)); m = trim(substr(line, pm))
    if (t == "" && nm == "" && d == "" && rows > 0) { mean[rows] = mean[rows] " " m; next }
    rows++
    type[rows] = t; name[rows] = nm; def[rows] = d; mean[rows] = m
}
END {
    print "### " stem
    print ""
    print esc(summary, 0)
    print ""
    print paragraphs(text)
    print ""
    if (params == "none") print "Parameters: none."
    if (params == "table") {
        print "Parameters:"
        print ""
        print "| type | name | default | meaning |"
        print "| --- | --- | --- | --- |"
        for (i = 1; i <= rows; i++)
            print "| " esc(type[i], 1) " | `" name[i] "` | `" def[i] "` | " esc(mean[i], 1) " |"
    }
    if (params == "raw") print code(raw)
    print ""
    print paragraphs(after)
    print ""
    if (example != "") { print "Example:"; print ""; print code(example) }
    print ""
}'

generate() {
    local files kind last="" f
    files="$(sources)"
    cat <<'EOF'
# Plugins and shaders

The user manual of every plugin and shader, grouped by kind. `scripts/docs.sh` gathers it from
the comment block that opens each source: change the block, then run the script. The test suite
fails while this file differs from what the script would write.

A block reads: `// <name>: <summary>`, a line `//`, free text, `// Parameters:` followed by a
table (its first line `//   type  name  default  meaning`, a row with only a meaning continuing
the one above) or `// Parameters: none`, a line `//`, then `// Example:` and the lines of a scene
file that uses it, each indented by two spaces.

EOF
    for f in $files; do
        kind="$(echo "$f" | cut -d/ -f1-2)"
        if [ "$kind" != "$last" ]; then
            [ -z "$last" ] || echo
            printf -- "- [%s](#%s):" "$(title "$kind")" "$(anchor "$(title "$kind")")"
            last="$kind"
        fi
        printf " %s" "$(stem "$f")"
    done
    echo
    last=""
    for f in $files; do
        kind="$(echo "$f" | cut -d/ -f1-2)"
        if [ "$kind" != "$last" ]; then
            printf "\n## %s\n\n" "$(title "$kind")"
            last="$kind"
        fi
        awk -v stem="$(stem "$f")" "$section_awk" "$f"
    done
}

# No blank line at either end, nor two in a row.
tidy() { awk '/^$/ { blank = 1; next } { if (blank && seen) print ""; print; blank = 0; seen = 1 }'; }

cd "$root"
tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT
generate | tidy > "$tmp"

if [ "$check" = 1 ]; then
    if [ ! -f "$out" ]; then
        echo "docs.sh: $shown is missing; run scripts/docs.sh" >&2
        exit 1
    fi
    if ! cmp -s "$tmp" "$out"; then
        echo "docs.sh: $shown is not what the plugin and shader sources give now; run scripts/docs.sh" >&2
        diff -u "$out" "$tmp" | head -n 40 >&2 || true
        exit 1
    fi
    exit 0
fi
mkdir -p "$(dirname "$out")"
cp "$tmp" "$out"
