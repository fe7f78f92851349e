#!/bin/sh
# tools/dk/demo.sh BIN_DIR SOURCE_DIR
#
# What `make run` shows: a fresh repository in the build tree (BIN_DIR/../demo/repo.db), the
# project's own source tree imported into it (twice: the second import only says what changed),
# its README fetched as a URL from a loopback python3 http.server that the script starts and stops,
# queries as a table, as CSV and as JSON, a text search, one update, and the item read back, its
# content written back and compared with the file, a folder of two items listed, items
# found by a condition and by a stored search template, the size of a result, and a second user
# refused an item until a group grants it.
# Nothing is written outside BIN_DIR/../demo; the log goes to BIN_DIR/../demo/log/dklog.log.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 BIN_DIR SOURCE_DIR" >&2
    exit 1
fi
bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
demo=$(dirname "$bin")/demo
repo=$demo/repo.db
dk=$bin/dk

rm -rf "$demo"
mkdir -p "$demo"
export DK_LOG_DIR="$demo/log"
# A demonstration password; a real user types one (or keeps it in a file for --password-file).
DK_PASSWORD=${DK_PASSWORD:-demo-password}
export DK_PASSWORD

step() {
    printf '\n$ dk'
    for a in "$@"; do
        case $a in
            *' '*|*'*'*) printf " '%s'" "$a" ;;
            *) printf ' %s' "$a" ;;
        esac
    done
    printf '\n'
    "$dk" "$@"
}

echo "== dk: a repository of the project's own files (repository $repo)"
step init "$repo"
step entities "$repo"
step import "$repo" "$src"
echo
echo "== The same tree again: nothing doubles, only changes are written"
step import "$repo" "$src"

echo
echo "== A URL: the README served by python3's http.server on loopback, kept as one item"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$src" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
python3 -c 'import socket, sys, time
for _ in range(100):
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close(); break
    except OSError:
        time.sleep(0.05)' "$port"
step import "$repo" "http://127.0.0.1:$port/README.md"
kill $server
wait $server 2>/dev/null || true
trap - EXIT

echo
echo "== Two queries"
step query "$repo" "SELECT mimetype, COUNT(*) AS files, SUM(size) AS bytes FROM document GROUP BY mimetype ORDER BY files DESC, mimetype"
step query "$repo" "SELECT dk_id, title, filename, size, modified FROM document WHERE filename LIKE :folder ORDER BY size DESC LIMIT 5" --param "folder=include/%"
echo
echo "== A text search: items whose title or filename hold every word (a trailing * asks for a prefix)"
step search "$repo" sqlite "read*" --format csv

echo
echo "== The same kind of answer for other programs: CSV and JSON"
step query "$repo" "SELECT filename, size FROM document WHERE mimetype = :type ORDER BY filename LIMIT 3" --param type=text/markdown --format csv
step query "$repo" "SELECT filename, size, modified FROM document ORDER BY size DESC LIMIT 2" --format json

echo
echo "== One update, read back"
# The item named README.md at the top of the tree (its id comes from the query's item column).
item=$("$dk" query "$repo" "SELECT * FROM document WHERE filename = 'README.md'" --format csv | grep -o 'document:[0-9][0-9]*' | head -n 1)
if [ -z "$item" ]; then
    echo "no README.md was imported" >&2
    exit 1
fi
step get "$repo" "$item"
step update "$repo" "$item" "title=Project overview" "size=0"
step get "$repo" "$item"

echo
echo "== The item's content, stored by the import, written back byte for byte"
printf '\n$ dk cat %s %s | cmp - README.md\n' "$repo" "$item"
"$dk" cat "$repo" "$item" | cmp - "$src/README.md"
echo "identical"

echo
echo "== A folder of two items, listed"
folder=$("$dk" mkfolder "$repo" "Read first")
other=$("$dk" query "$repo" "SELECT * FROM document WHERE filename = 'ARCHITECTURE.md'" --format csv | grep -o 'document:[0-9][0-9]*' | head -n 1)
step file "$repo" "$folder" "$item" $other
step ls "$repo" "$folder"

echo
echo "== Finding items by a condition, and a stored search template"
step find "$repo" document filename like 'include/dk/DKQ%'
step find "$repo" document size between 20000 30000 --format csv
step template "$repo" "By size and name" document size:'>=',between title:==,like
step search "$repo" --template "By size and name" size=20000 'title:like=DK%'
step query --count "$repo" "SELECT * FROM document WHERE size > 10000"

echo
echo "== A second user: refused the item, then allowed it through a group"
printf 'reader-password\n' > "$demo/reader.pw"
step user add "$repo" reader --new-password-file "$demo/reader.pw"
printf '\n$ dk --user reader cat %s %s\n' "$repo" "$item"
if DK_PASSWORD=reader-password "$dk" --user reader cat "$repo" "$item" >/dev/null; then
    echo "the reader was not refused" >&2
    exit 1
fi
step group add "$repo" readers
step acl create "$repo" shared readers=reader
step chacl "$repo" "$item" shared
step group adduser "$repo" readers reader
printf '\n$ dk --user reader query %s "SELECT COUNT(*) FROM document"\n' "$repo"
DK_PASSWORD=reader-password "$dk" --user reader query "$repo" "SELECT COUNT(*) AS readable FROM document"
printf '\n$ dk --user reader cat %s %s | cmp - README.md\n' "$repo" "$item"
DK_PASSWORD=reader-password "$dk" --user reader cat "$repo" "$item" | cmp - "$src/README.md"
echo "identical"

step check "$repo"

echo
echo "The repository stays in $repo; try: $dk query $repo \"SELECT * FROM document LIMIT 3\""
echo "(password: \$DK_PASSWORD, here '$DK_PASSWORD'; log: $DK_LOG_DIR/dklog.log)"
