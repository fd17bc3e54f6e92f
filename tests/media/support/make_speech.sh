#!/bin/sh
# Makes the codec tests' speech: a few seconds spoken by espeak-ng, brought by sox to 8000 Hz
# mono signed 16-bit little-endian raw samples in the file named by $1.
set -e
out="$1"
wide="$out.22k.wav"
espeak-ng -s 150 -w "$wide" 'The quick brown fox jumps over the lazy dog. Please call me back at five five five, one two three four, before noon.' 2>/dev/null
# Lowered by 3 dB so that the loudest peaks of the speech do not clip.
sox -D "$wide" -r 8000 -c 1 -b 16 -e signed-integer -t raw "$out.part" gain -n -3 2>/dev/null
rm -f "$wide"
mv "$out.part" "$out"
