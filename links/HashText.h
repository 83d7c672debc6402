// Reads a 20-byte info-hash out of text a user typed or pasted: a magnet link or a bare
// hash, 40 hexadecimal digits or 32 base32 characters.  Portable; the Windows reader and
// the native tests and fuzzer share it, so it takes the character type as a parameter
// (wchar_t is 16 bits on Windows and 32 bits on Linux).
#pragma once

#include <cstdint>

// Decodes the hash at the start of the terminated `text`, after any U+0020 spaces.  The
// hexadecimal reading wins when the next 40 characters are all hex digits; otherwise exactly
// 32 base32 characters must follow.  Anything after the hash is ignored.  Returns 1 and
// writes the digest bytes in order into `digest`, or returns 0 and leaves `digest` as it was.
template <typename Char>
int ParseHashText(const Char* text, uint8_t digest[20]);

// The whole field's text, already in lower case: the hash after the first "xt=urn:btih:" topic
// if that place holds one (topics of other kinds are passed over), else the hash at the start
// of the text.  Same result rule as above.
template <typename Char>
int ParseLinkText(const Char* text, uint8_t digest[20]);

// Digest bytes into the SHA-1 state words, so that the words read as the engine leaves them.
void DigestBytesToWords(const uint8_t digest[20], uint32_t h[5]);
