#!/bin/sh
# Copies every PE image embedded in a PE file (as a resource or as a byte array) into a directory:
#   extract_pe_images.sh FILE OUTDIR
# An image is found by its DOS stub and checked by its headers; its length is the end of its last
# section or of its certificate table, whichever is later. Each is written as OUTDIR/<kind><bits>
# (kind: driver, library, console, windowed; bits: 32 or 64), one line per image on standard output:
#   <kind><bits> <offset> <length>
# Exit 1 when the file cannot be read, an image's headers are inconsistent, or two images share a name.
set -eu
file=$1
out=$2
size=$(wc -c <"$file")
mkdir -p "$out"

fail() {
    echo "extract_pe_images: $*" >&2
    exit 1
}

# u16/u32 OFFSET: the little-endian number at that byte offset of the file.
u16() { od -An -tu2 -j "$1" -N2 --endian=little "$file" | tr -d ' \n'; }
u32() { od -An -tu4 -j "$1" -N4 --endian=little "$file" | tr -d ' \n'; }

# Every linker this project uses writes the standard stub, whose text starts 0x4E bytes into the image.
stub='This program cannot be run in DOS mode'
LC_ALL=C grep -obUa "$stub" "$file" | cut -d: -f1 | while read -r at; do
    start=$((at - 78))
    # The file's own headers are not an embedded image.
    [ "$start" -gt 0 ] || continue
    [ "$(od -An -c -j "$start" -N2 "$file" | tr -d ' \n')" = "MZ" ] || continue
    pe=$((start + $(u32 $((start + 60)))))
    [ "$(u32 "$pe")" = "17744" ] || continue # "PE\0\0"
    machine=$(u16 $((pe + 4)))
    sections=$(u16 $((pe + 6)))
    optional_size=$(u16 $((pe + 20)))
    characteristics=$(u16 $((pe + 22)))
    opt=$((pe + 24))
    case "$(u16 "$opt")" in
    267) bits=32 directories=$((opt + 96)) count_at=$((opt + 92)) ;;  # PE32
    523) bits=64 directories=$((opt + 112)) count_at=$((opt + 108)) ;; # PE32+
    *) fail "image at $start: unknown optional header" ;;
    esac
    case "$machine" in
    332) [ "$bits" = 32 ] || fail "image at $start: i386 with a PE32+ header" ;;
    34404) [ "$bits" = 64 ] || fail "image at $start: x86_64 with a PE32 header" ;;
    *) fail "image at $start: machine $machine" ;;
    esac
    # A kernel driver is linked as a DLL too: the native subsystem tells it apart.
    case "$(u16 $((opt + 68)))" in
    1) kind=driver ;;
    2) kind=windowed ;;
    3) kind=console ;;
    *) fail "image at $start: unknown subsystem" ;;
    esac
    if [ "$kind" != driver ] && [ $((characteristics & 8192)) -ne 0 ]; then
        kind=library
    fi

    # The raw data of every section.
    end=0
    table=$((opt + optional_size))
    i=0
    while [ "$i" -lt "$sections" ]; do
        entry=$((table + 40 * i))
        raw_size=$(u32 $((entry + 16)))
        raw_at=$(u32 $((entry + 20)))
        if [ $((raw_at + raw_size)) -gt "$end" ]; then end=$((raw_at + raw_size)); fi
        i=$((i + 1))
    done
    # The certificate table (data directory 4) holds a file offset, not an address.
    if [ "$(u32 "$count_at")" -gt 4 ]; then
        cert_at=$(u32 $((directories + 32)))
        cert_size=$(u32 $((directories + 36)))
        if [ $((cert_at + cert_size)) -gt "$end" ]; then end=$((cert_at + cert_size)); fi
    fi
    [ $((start + end)) -le "$size" ] || fail "image at $start runs past the end of $file"

    name=$kind$bits
    [ ! -e "$out/$name" ] || fail "two images are $name"
    tail -c +$((start + 1)) "$file" | head -c "$end" >"$out/$name"
    echo "$name $start $end"
done
