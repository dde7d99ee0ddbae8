#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into tests/fuzz/corpus/<target>/.

The seeds are cases from tests/core, laid out the way each target reads its
input. The output is the same on every run; run it again after changing a
target's input layout and commit the result.
"""
import pathlib
import shutil
import struct

HERE = pathlib.Path(__file__).resolve().parent


def write(target, seeds):
    folder = HERE / "corpus" / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


# --- http_reply: an 11-byte head, piece lengths, quiet moments, then the stream.

END_NOTHING, END_CLOSE, END_QUIET, END_QUIET_CLOSE = 0, 1, 2, 3
CLOSE_EARLY, KIB_PIECES, GROW = 0x04, 0x08, 0x10


def script(stream, ending=END_NOTHING, pieces=(), quiet_at=(), close_at=None, grow_units=0, slice=0, after=0,
           kib=False):
    flags = ending
    if close_at is not None:
        flags |= CLOSE_EARLY
    if kib:
        flags |= KIB_PIECES
    if grow_units:
        flags |= GROW
    head = bytes([flags, len(pieces), len(quiet_at), grow_units]) + struct.pack("<H", slice)
    head += struct.pack("<I", close_at or 0)[:3] + struct.pack("<H", after)
    body = bytes(p - 1 for p in pieces)
    for q in quiet_at:
        body += struct.pack("<I", q)[:3]
    return head + body + stream


def reply(status_line, headers, body=b""):
    return status_line + b"\r\n" + headers + b"\r\n" + body


def length(body):
    return b"Content-Length: %d\r\n" % len(body)


QUOTE = b"2345.67|R|28.90|D\r\n"
CHUNKED = b"Transfer-Encoding: chunked\r\n"
OK = b"HTTP/1.1 200 OK"
NO_CONTENT = reply(b"HTTP/1.1 204 No Content", b"")

http = {
    "200_length": script(reply(OK, length(QUOTE), QUOTE)),
    "200_length_byte_by_byte": script(reply(OK, length(QUOTE), QUOTE), pieces=[1]),
    "200_length_then_close": script(reply(OK, length(QUOTE), QUOTE), END_CLOSE, pieces=[3, 7, 2]),
    "200_lf_only": script(b"HTTP/1.1 200 OK\nContent-Length: 2\n\nab", pieces=[5]),
    "200_until_close": script(reply(OK, b"", b"line one\r\nline two\r\n"), END_CLOSE, pieces=[4, 1]),
    "200_negative_length": script(reply(OK, b"Content-Length: -1\r\n", b"body"), END_CLOSE),
    "200_connection_close": script(reply(OK, b"Connection: close\r\n" + length(b"ok"), b"ok")),
    "200_folded_headers": script(
        reply(OK, b"X-Folded: first\r\n  second\r\nnot a header\r\nX-High: caf\xc3\xa9\r\n" + length(b"ok"), b"ok"),
        pieces=[2, 9]),
    "201_location": script(reply(b"HTTP/1.1 201 Created", b"Location: /new\r\n" + length(b"made"), b"made")),
    "302_location": script(reply(b"HTTP/1.1 302 Found", b"Location: /x\r\n" + length(b"a"), b"a")),
    "404_until_close": script(reply(b"HTTP/1.1 404 Not Found", b"", b"some body"), END_CLOSE),
    "continue_then_200": script(b"HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\n" + reply(OK, length(QUOTE), QUOTE),
                                pieces=[11, 3]),
    "chunked": script(reply(OK, CHUNKED, b"5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"), pieces=[6, 1, 2]),
    "chunked_extension_trailer": script(reply(OK, CHUNKED, b"3 ext\r\nabc\r\n0\r\nX-Trailer: 1\r\n")),
    "chunked_cut": script(reply(OK, CHUNKED, b"5\r\nhel"), END_CLOSE),
    "chunked_named_extension": script(reply(OK, CHUNKED, b"5;name=value\r\nhello\r\n0;last\r\n\r\n"), pieces=[2, 5]),
    "chunk_data_without_line_end": script(reply(OK, CHUNKED, b"3\r\n1|23\r\n"), END_CLOSE),
    "early_hints_then_200": script(b"HTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\n\r\n" +
                                   b"HTTP/1.1 102 Processing\r\n\r\n" + reply(OK, length(QUOTE), QUOTE), pieces=[9]),
    "101_switching": script(reply(b"HTTP/1.1 101 Switching Protocols", b"Upgrade: websocket\r\n"), END_QUIET),
    "chunked_largest_size": script(reply(OK, CHUNKED, b"7FFFFFFFFFFFFFFF\r\nsome")),
    "204_quiet": script(NO_CONTENT, END_QUIET),
    "204_quiet_then_late_bytes": script(NO_CONTENT + b"late", quiet_at=[len(NO_CONTENT)], pieces=[8]),
    "204_bytes_then_close": script(NO_CONTENT + b"junk", END_CLOSE),
    "304_body_in_probe": script(reply(b"HTTP/1.1 304 Not Modified", length(b"ab")) + b"ab", END_QUIET_CLOSE),
    "close_inside_headers": script(b"HTTP/1.1 200 OK\r\nServer: x\r\nContent-Len", close_at=30),
    "close_before_headers": script(b"HTTP/1.1 200 OK\r\n", END_CLOSE),
    # Streams grown past the limits by repeating a slice.
    "grown_body_until_close": script(reply(OK, b"", b"b" * 64), END_CLOSE, grow_units=255, slice=64),
    "grown_chunked_body": script(reply(OK, CHUNKED, b"400\r\n" + b"c" * 1024 + b"\r\n"), pieces=[16, 1],
                                 grow_units=255, slice=1024 + 7),
    "grown_header_block": script(reply(OK, b"", b"").rstrip(b"\r\n") + b"\r\nX-Filler: vvvvvvvvvvvvvvvv\r\n",
                                 grow_units=20, slice=28, kib=True, pieces=[1]),
    "long_line": script(b"HTTP/1.1 200 OK " + b"x" * 64, grow_units=4, slice=64),
    "long_line_ended": script(reply(b"HTTP/1.1 200 OK " + b"x" * 64, length(b"ok"), b"ok"), grow_units=4, slice=64,
                              after=len(reply(b"", length(b"ok"), b"ok"))),
    "long_header_line_ended": script(reply(OK, b"X-Long: " + b"y" * 64 + b"\r\n" + length(b"ok"), b"ok"),
                                     grow_units=4, slice=64, after=len(b"\r\n" + length(b"ok") + b"\r\nok")),
}

# Well-formed replies that the target writes out itself: byte 0 has bit 5 set,
# the rest are its choices (see WellFormed in http_reply_fuzz.cpp).
WELL_FORMED = 0x20
http.update({
    "well_formed_length": bytes([WELL_FORMED, 1, 0, 0, 0, 0, 0, 17, 0]) + QUOTE[:17] + bytes([0, 0, 3, 0, 5, 0]),
    "well_formed_chunked_cut": bytes([WELL_FORMED, 0, 1, 0, 1, 0, 2, 0, 1, 0, 12, 0]) + b"2345.67|R|28" +
    bytes([3, 0, 1, 2, 0, 1, 0, 1, 9, 0, 2, 0, 3, 0]),
    "well_formed_until_close": bytes([WELL_FORMED, 1, 2, 0, 0, 2, 3, 1, 1, 0, 20, 0]) + b"line one\r\nline two\r\n" +
    bytes([1, 0, 8, 0, 2, 0, 7, 0]),
})

# --- quote_reply: byte 0 even, then UTF-16 LE; or byte 0 odd, then one
# alphabet index per byte.


def utf16(text):
    return b"\x00" + text.encode("utf-16-le", "surrogatepass")


ALPHABET = "aRUD\"| \r\n\x01\x1f!\x00\u2192\ud83d\ude00"


def alphabet(text):
    return b"\x01" + bytes(ALPHABET.index(c) for c in text)


quote = {
    "quote": utf16("2345.67|R|28.90|D\r\n"),
    "empty_items": utf16("a||b|"),
    "leading_delimiter": utf16(" |b"),
    "delimiter_then_blank": utf16("a| "),
    "separators": utf16("a \r\n\t\x01b\x1f|c"),
    "quoted_delimiter": utf16("\"a|b\"|c"),
    "doubled_quote": utf16("\"a\"\"b\"|c"),
    "text_behind_quote": utf16("\"ab\"cd|e"),
    "quote_inside_run": utf16("a\"x y\"|c"),
    "unclosed_quote": utf16("a|\"b c"),
    "nul": utf16("a|b\x00c|d"),
    "surrogate_pair": utf16("\u91d1\U0001F600|x\ufeff"),
    "web_page": utf16("<!DOCTYPE html>\r\n<html><body>Service Unavailable</body></html>\r\n"),
    "alphabet_mix": alphabet("aR|\"U \"\"D\"|| \r\n\x01a\x1f!\x00a"),
    "alphabet_quotes": alphabet("\"a|a\"a\"\"|\"\u2192\ud83d\ude00"),
}

# --- setting_value: ASCII text as it is.

setting = {name: text.encode("ascii") for name, text in {
    "zero": "0", "plus": "+5", "smallest": "-2147483648", "largest": "2147483647",
    "past_largest": "2147483648", "long": "123456789012345678901234567890",
    "hex_0x": "0x10", "hex_dollar": "$ff", "hex_bare": "XaB", "hex_pattern": "0xFFFFFFFF",
    "hex_negated": "-$FFFFFFFF", "hex_too_wide": "0x100000000", "blanks": "   -3",
    "prefix_alone": "0x", "decimal_point": "1.5", "two_signs": "+-1",
}.items()}

# --- notes_text: file bytes, also read as UTF-16 LE text.

notes = {
    "utf16le": b"\xff\xfea\x00\r\x00b\x00",
    "utf16be_odd": b"\xfe\xff\x00a\x00\n\x00b\x00",
    "utf8": b"\xef\xbb\xbf\xe9\x87\x91\n",
    "utf8_emoji": b"\xef\xbb\xbf\xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf",
    "utf8_overlong": b"\xef\xbb\xbfa\xc0\x80",
    "utf8_surrogate": b"\xef\xbb\xbf\xed\xa0\x80",
    "utf8_truncated": b"\xef\xbb\xbfok\xe9\x87",
    "ansi_breaks": b"a\nb\rc\r\nd\n\r",
    "cut_mark": b"\xef\xbb",
    "text_breaks": "1\r\n2\n3\r4\r\r\n".encode("utf-16-le"),
    "text_lone_surrogates": "a\ud83d\ude00\ud83d".encode("utf-16-le", "surrogatepass") + b"\x00\xde",
}

write("http_reply", http)
write("quote_reply", quote)
write("setting_value", setting)
write("notes_text", notes)
