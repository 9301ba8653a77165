#!/usr/bin/env bash
# Recovery files as a user meets them: a split with --recovery that Debian's par2 accepts, joins
# and repairs that rebuild missing and damaged segments, and the counts when too much is lost.
# Exit 77 (skipped) without par2.
set -euo pipefail
cli=${1:?usage: recovery_cli.sh PATH/TO/parzello-cli}
command -v par2 >/dev/null || { echo "par2 is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export LANG=C
head -c 3000000 /dev/urandom > file.bin

fresh() {  # a new split of file.bin into 300000-byte segments with 10% recovery data
  rm -rf set out && mkdir set out
  cp file.bin set/
  "$cli" split set/file.bin --size 300000 --recovery 10 2> split.log
  grep -q 'segments they can rebuild: [1-9]' split.log
}

# Written beside the checksum file, listed in it, accepted by par2.
fresh
ls set/file.bin.PZX.par2 set/file.bin.PZX.vol*.par2 >/dev/null
grep -q ' file.bin.PZX.par2$' set/file.bin.PZX.sha256
(cd set && sha256sum --quiet -c file.bin.PZX.sha256)
par2 verify -q set/file.bin.PZX.par2 >/dev/null

# A missing segment and damaged bytes in another: verify says a repair can rebuild them, the
# join rebuilds them and the result matches.
rm set/file.bin.PZX004
printf 'XXXXXXXX' | dd of=set/file.bin.PZX007 bs=1 seek=1000 conv=notrunc status=none
if "$cli" verify set/file.bin.PZX000 2> verify.log; then exit 1; fi
grep -q 'can rebuild' verify.log
"$cli" join set/file.bin.PZX000 --to out 2> join.log
grep -q 'Rebuilt from the recovery data:.*file.bin.PZX004' join.log
grep -q 'Rebuilding lost or damaged segments' join.log
if grep -q 'Writing recovery data' join.log; then exit 1; fi
cmp file.bin out/file.bin
par2 verify -q set/file.bin.PZX.par2 >/dev/null

# A first segment whose header is damaged: rebuilt before the join reads it.
fresh
printf 'garbage' | dd of=set/file.bin.PZX000 bs=1 seek=0 conv=notrunc status=none
"$cli" join set/file.bin.PZX000 --to out 2> join.log
cmp file.bin out/file.bin

# An encrypted set: a damaged chunk is rebuilt from the recovery data before it is decrypted.
rm -rf set out && mkdir set out && cp file.bin set/
printf 'Sesam\n' > pw
"$cli" split set/file.bin --size 300000 --recovery 10 --password-file pw 2> split.log
printf 'XXXXXXXX' | dd of=set/file.bin.PZX006 bs=1 seek=5000 conv=notrunc status=none
"$cli" join set/file.bin.PZX000 --to out --password-file pw 2> join.log
grep -q 'Rebuilt from the recovery data:.*file.bin.PZX006' join.log
cmp file.bin out/file.bin

# repair alone rebuilds without joining; par2 repairs what we wrote as well.
fresh
rm set/file.bin.PZX002
"$cli" repair set/file.bin.PZX000
cmp <(cat set/file.bin.PZX0[0-9][0-9] | tail -c +1025) file.bin
rm set/file.bin.PZX003
par2 repair -q set/file.bin.PZX.par2 >/dev/null
cmp <(cat set/file.bin.PZX0[0-9][0-9] | tail -c +1025) file.bin

# Too little: the counts, and nothing rebuilt.
rm set/file.bin.PZX001 set/file.bin.PZX005 set/file.bin.PZX008
if "$cli" repair set/file.bin.PZX000 2> repair.log; then exit 1; fi
grep -q 'Too little recovery data.*missing or damaged: [0-9]*, recovery blocks present: [0-9]*' repair.log
[ ! -e set/file.bin.PZX001 ]

# A percentage out of range is a usage error.
set +e
"$cli" split file.bin --recovery 0 2>/dev/null; [ $? = 2 ] || exit 1
"$cli" split file.bin --recovery 101 2>/dev/null; [ $? = 2 ] || exit 1
echo "recovery files written, accepted by par2, and used by join and repair"
