#!/usr/bin/env bash
# The source copy that the other Debian release's check builds from: it must
# work from an unpacked tarball on a machine without git, leave out the build
# outputs there, and keep taking the committed tree from a git checkout.
#   test_source_copy.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
. "$(dirname "$0")/harness.sh"
files() { (cd "$1" && find . ! -type d | LC_ALL=C sort); }

# A tree as a tarball delivers it: this project's own files, no .git.
"$source_dir/scripts/copy-source-tree.sh" "$work/tarball" >/dev/null || fail "copying the project"
# The script under test as it is here, also when a checkout copied an older one.
cp "$source_dir/scripts/copy-source-tree.sh" "$work/tarball/scripts/"
for f in dev.sh README.md CMakeLists.txt .gitignore .ci/run src/app/main.cpp; do
    [ -f "$work/tarball/$f" ] || fail "the copy of the project lacks $f"
done
[ ! -e "$work/tarball/.git" ] || fail "the copy of the project has .git"

# Files a copy must keep, and build outputs it must leave out.
tree=$work/tarball
mkdir -p "$tree/src/build" "$tree/docs/sub dir"
echo kept >"$tree/src/build/nested-build-folder.cpp"
echo kept >"$tree/docs/sub dir/name with blanks.md"
ln -s ../README.md "$tree/docs/link-to-readme"
wanted=$(files "$tree")
mkdir -p "$tree/build/test/bin" "$tree/build-old" "$tree/.cache/clangd" "$tree/src/.cache"
touch "$tree/build/test/bin/nuvokrc" "$tree/build-old/out" "$tree/.cache/clangd/index" \
    "$tree/src/.cache/x" "$tree/compile_commands.json" "$tree/src/compile_commands.json" \
    "$tree/CMakeLists.txt.user"

# copy_check NAME COPY_SCRIPT EXPECTED_METHOD_WORDS [PATH]
copy_check() {
    local name=$1 script=$2 method=$3 path=${4:-$PATH} dest=$work/out-$1 said
    said=$(PATH=$path "$script" "$dest" 2>&1) || {
        fail "$name: the copy failed: $said"
        return
    }
    [[ "$said" == *"$method"* ]] || fail "$name: said '$said', not '$method'"
    [ "$(files "$dest")" = "$wanted" ] ||
        fail "$name: files differ from the tree's:"$'\n'"$(diff <(echo "$wanted") <(files "$dest"))"
    [ "$(readlink "$dest/docs/link-to-readme")" = ../README.md ] || fail "$name: the symbolic link is lost"
}

# git hidden from PATH: every other command of PATH is still there.
nogit=$work/bin-without-git
mkdir -p "$nogit"
IFS=: read -ra dirs <<<"$PATH"
for dir in "${dirs[@]}"; do
    for cmd in "$dir"/*; do
        name=${cmd##*/}
        [ "$name" = git ] || [ -e "$nogit/$name" ] || [ ! -x "$cmd" ] || ln -s "$cmd" "$nogit/$name"
    done
done
copy_check no-git "$tree/scripts/copy-source-tree.sh" "no git" "$nogit"

if command -v git >/dev/null; then
    git_quiet() { git -c user.name=test -c user.email=test@localhost -c init.defaultBranch=main "$@" >/dev/null; }
    # A tarball unpacked inside somebody else's repository is still no checkout.
    mkdir -p "$work/outer"
    git_quiet -C "$work/outer" init
    cp -a "$tree" "$work/outer/tarball"
    copy_check inside-other-repository "$work/outer/tarball/scripts/copy-source-tree.sh" \
        "not a git checkout"

    # A checkout: what is committed, not what lies in the working tree.
    cp -a "$tree" "$work/checkout"
    rm -rf "$work/checkout/build" "$work/checkout/build-old" # ignored anyway; quicker
    git_quiet -C "$work/checkout" init
    git_quiet -C "$work/checkout" add -A
    git_quiet -C "$work/checkout" commit -m tree
    echo uncommitted >>"$work/checkout/README.md"
    echo untracked >"$work/checkout/untracked.txt"
    copy_check checkout "$work/checkout/scripts/copy-source-tree.sh" "git archive HEAD"
    cmp -s "$tree/README.md" "$work/out-checkout/README.md" || fail "checkout: an uncommitted change was copied"
else
    echo "the git rows skipped: git is not installed"
fi

finish "the source copy takes the project's files with and without git"
