"""The host runtime over real pipes: framing, limits, JSON reading, the reply envelope,
"hello", unknown types and the choice of native messaging mode. Reply texts are
compared byte for byte."""

import struct
import sys
import time

from hostlib import (MAX_MESSAGE_SIZE, MAX_REPLY_SIZE, ORIGIN, NMClientError, error_reply,
                     expect_reply, frame, main, ok_reply, run_to_end, session, stderr_tail)

INVALID = error_reply("invalid_request")


def hello_with_id(id_json):
    return b'{"type":"hello","id":' + id_json + b"}"


def hello_group(target, tally):
    cases = [
        ("hello", b'{"type":"hello","id":1}', b"1"),
        ("hello, id first", b'{"id":1,"type":"hello"}', b"1"),
        ("hello ignores other members",
         b'{"type":"hello","id":2,"path":"C:\\\\x","protocol":7,"result":null}', b"2"),
        ("the last of duplicate ids counts", b'{"type":"hello","id":1,"id":2}', b"2"),
        ("the last of duplicate types counts", b'{"type":"nope","type":"hello","id":3}', b"3"),
    ]
    with session(target, tally, "hello") as host:
        for name, body, id_json in cases:
            expect_reply(tally, host, name, body, ok_reply(id_json))


def id_echo_group(target, tally):
    # (name, id as sent, id as the reply writes it)
    cases = [
        ("string", b'"abc"', b'"abc"'),
        ("empty string", b'""', b'""'),
        ("string escapes", b'"q\\"b\\\\s\\/n\\n\\t\\r\\b\\f\\u0001\\u001F\\u007f"',
         b'"q\\"b\\\\s/n\\n\\t\\r\\b\\f\\u0001\\u001f\x7f"'),
        ("escaped non-ASCII becomes UTF-8", b'"\\u00e9\\u20AC\\ud83d\\ude00\\u2028"',
         "\"é€\U0001F600\u2028\"".encode()),
        ("UTF-8 boundary characters", "\"\U0010FFFF\uFFFF\uD7FF\uE000\u0080\"".encode(),
         "\"\U0010FFFF\uFFFF\uD7FF\uE000\u0080\"".encode()),
        ("zero", b"0", b"0"),
        ("negative integer", b"-7", b"-7"),
        ("integer beyond double precision", b"9007199254740993", b"9007199254740993"),
        ("largest unsigned 64-bit", b"18446744073709551615", b"18446744073709551615"),
        ("smallest signed 64-bit", b"-9223372036854775808", b"-9223372036854775808"),
        ("fraction", b"2.5", b"2.5"),
        ("negative fraction", b"-0.25", b"-0.25"),
        # Doubles that need every digit: a reader that rounds loosely changes them.
        ("17 significant digits", b"0.30000000000000004", b"0.30000000000000004"),
        ("17 digits, large", b"123456789.12345679", b"123456789.12345679"),
        ("an exactly representable fraction", b"0.9868011474609375", b"0.9868011474609375"),
        ("a fraction written with an exponent", b"625e-3", b"0.625"),
        ("true", b"true", b"true"),
        ("false", b"false", b"false"),
        ("null", b"null", b"null"),
        ("object, keys in byte order", '{"é":1,"z":2,"Z":3,"":4}'.encode(),
         '{"":4,"Z":3,"z":2,"é":1}'.encode()),
        ("nested object and array", b'{"b":[1,{"d":null,"c":"x"}],"a":{}}',
         b'{"a":{},"b":[1,{"c":"x","d":null}]}'),
        ("object with white space", b'{ "a" : [ 1 , 2 ] ,\n"b":{ } }', b'{"a":[1,2],"b":{}}'),
        ("array", b'[1,"two",[3],{"four":4},null,true]', b'[1,"two",[3],{"four":4},null,true]'),
        ("empty array", b"[]", b"[]"),
        ("empty object", b"{}", b"{}"),
    ]
    with session(target, tally, "id echo") as host:
        for name, sent, written in cases:
            expect_reply(tally, host, f"id echo: {name}", hello_with_id(sent), ok_reply(written))
        expect_reply(tally, host, "id echo: absent id gives null", b'{"type":"hello"}',
                     ok_reply(b"null"))
        expect_reply(tally, host, "id echo: in an error reply",
                     b'{"type":"no_such_type","id":{"k":["v",1]}}',
                     error_reply("unknown_request", b'{"k":["v",1]}'))


def unknown_type_group(target, tally):
    cases = [
        ("no type", b'{"id":1}'),
        ("type is a number", b'{"type":1,"id":1}'),
        ("type is null", b'{"type":null,"id":1}'),
        ("type is true", b'{"type":true,"id":1}'),
        ("type is an array", b'{"type":["hello"],"id":1}'),
        ("type is an object", b'{"type":{"type":"hello"},"id":1}'),
        ("capital first letter", b'{"type":"Hello","id":1}'),
        ("upper case", b'{"type":"HELLO","id":1}'),
        ("trailing space", b'{"type":"hello ","id":1}'),
        ("leading space", b'{"type":" hello","id":1}'),
        ("escaped NUL after the name", b'{"type":"hello\\u0000","id":1}'),
        ("empty type", b'{"type":"","id":1}'),
        ("name outside the table", b'{"type":"reticulate_splines","id":1}'),
        ("a known name with a suffix", b'{"type":"get_configs","id":1}'),
    ]
    with session(target, tally, "unknown type") as host:
        for name, body in cases:
            expect_reply(tally, host, f"unknown type: {name}", body,
                         error_reply("unknown_request", b"1"))
        expect_reply(tally, host, "unknown type: empty object", b"{}",
                     error_reply("unknown_request"))


def invalid_request_group(target, tally):
    hello = b'{"type":"hello","id":1'
    cases = [
        # Not an object.
        ("array holding a request", b'[{"type":"hello","id":1}]'),
        ("empty array", b"[]"),
        ("string", b'"hello"'),
        ("number", b"1"),
        ("null", b"null"),
        ("true", b"true"),
        # Not one JSON value.
        ("empty body", b""),
        ("only white space", b" \n\t\r "),
        ("bare word", b"hello"),
        ("cut off", hello),
        ("lone brace", b"{"),
        ("trailing comma", hello + b",}"),
        ("single quotes", b"{'type':'hello'}"),
        ("NaN", b'{"type":"hello","id":NaN}'),
        ("leading zero", b'{"type":"hello","id":01}'),
        ("comment before", b'/**/{"type":"hello","id":1}'),
        ("comment after", hello + b"}//"),
        ("invalid escape", b'{"type":"hello","x":"\\x"}'),
        ("short \\u escape", b'{"type":"hello","x":"\\u12"}'),
        ("raw control character in a string", b'{"type":"hello","x":"a\x01b"}'),
        ("raw line feed in a string", b'{"type":"hello","x":"a\nb"}'),
        # Something after the value.
        ("a word after", hello + b"} x"),
        ("a second object", hello + b"}{}"),
        ("a comma after", hello + b"},"),
        ("form feed after", hello + b"}\n\x0c"),
        ("no-break space after", hello + b"}\xc2\xa0"),
        ("byte order mark before", b"\xef\xbb\xbf" + hello + b"}"),
        # NUL bytes anywhere.
        ("NUL after the value", hello + b"}\x00"),
        ("NUL and text after the value", hello + b'}\x00{"type":"hello"}'),
        ("NUL before the value", b"\x00" + hello + b"}"),
        ("NUL between members", b'{"type":"hello",\x00"id":1}'),
        ("NUL inside a string", b'{"type":"hello","x":"a\x00b","id":1}'),
        # Strings that are not valid UTF-8.
        ("byte FF in a string", b'{"type":"hello","x":"\xff","id":1}'),
        ("lone continuation byte", b'{"type":"hello","x":"\x80","id":1}'),
        ("overlong encoding", b'{"type":"hello","x":"\xc0\xaf","id":1}'),
        ("encoded surrogate", b'{"type":"hello","x":"\xed\xa0\x80","id":1}'),
        ("above U+10FFFF", b'{"type":"hello","x":"\xf4\x90\x80\x80","id":1}'),
        ("sequence cut short", b'{"type":"hello","x":"\xe2\x82","id":1}'),
        ("invalid byte in a key", b'{"\xff":1,"type":"hello","id":1}'),
        ("invalid byte in the type", b'{"type":"hel\xfflo","id":1}'),
        ("invalid byte in the id", b'{"type":"hello","id":"\xfe"}'),
        ("escaped lone high surrogate", b'{"type":"hello","x":"\\ud800","id":1}'),
        ("escaped lone low surrogate", b'{"type":"hello","x":"\\udc00","id":1}'),
        ("high surrogate before a letter", b'{"type":"hello","x":"\\ud800\\u0041","id":1}'),
        ("escaped lone surrogate in a key", b'{"\\ud800":1,"type":"hello","id":1}'),
    ]
    with session(target, tally, "invalid request") as host:
        for name, body in cases:
            expect_reply(tally, host, f"invalid request: {name}", body, INVALID)


def nesting_group(target, tally):
    def arrays(levels):  # `levels` nested arrays
        return b"[" * levels + b"]" * levels

    def objects(levels):  # `levels` nested objects
        return b'{"x":' * (levels - 1) + b"{}" + b"}" * (levels - 1)

    member = b'{"type":"hello","id":1,"x":'
    # The outer request object is the first level.
    cases = [
        ("127 levels of arrays", member + arrays(126) + b"}", ok_reply(b"1")),
        ("128 levels of arrays", member + arrays(127) + b"}", INVALID),
        ("127 levels of objects", member + objects(126) + b"}", ok_reply(b"1")),
        ("128 levels of objects", member + objects(127) + b"}", INVALID),
        ("127 levels in the id", hello_with_id(arrays(126)), ok_reply(arrays(126))),
        ("a bare array 128 deep", arrays(128), INVALID),
        ("a million open arrays", b"[" * 1_000_000, INVALID),
        ("a million levels, closed", arrays(1_000_000), INVALID),
        ("a million open objects", b'{"a":' * 1_000_000, INVALID),
    ]
    with session(target, tally, "nesting") as host:
        for name, body, want in cases:
            expect_reply(tally, host, f"nesting: {name}", body, want)
        expect_reply(tally, host, "nesting: host still answers", hello_with_id(b"2"),
                     ok_reply(b"2"))


def framing_group(target, tally):
    with session(target, tally, "framing") as host:
        expect_reply(tally, host, "framing: white space around the value",
                     b' \t\r\n{"type":"hello","id":1}\n \t\r', ok_reply(b"1"))
        expect_reply(tally, host, "framing: white space between tokens",
                     b'{ "type" :\t"hello" ,\r\n"id" : 1 }', ok_reply(b"1"))
        batches = [
            ("two frames in one write",
             [hello_with_id(b"1"), hello_with_id(b"2")],
             [ok_reply(b"1"), ok_reply(b"2")]),
            ("mixed frames in one write",
             [hello_with_id(b"3"), b"", b'{"type":"x","id":4}', b"[]", hello_with_id(b"5")],
             [ok_reply(b"3"), INVALID, error_reply("unknown_request", b"4"), INVALID,
              ok_reply(b"5")]),
        ]
        for name, bodies, want in batches:
            try:
                got = host.exchange(b"".join(frame(body) for body in bodies), len(want))
                tally.equal(f"framing: {name}", got, want)
            except NMClientError as error:
                tally.fails(f"framing: {name}", f"{error}{stderr_tail(host)}")
        # A message that arrives in pieces: the host must keep reading.
        name = "framing: a frame in small pieces"
        data = frame(hello_with_id(b'"pieces"'))
        try:
            for piece in (data[:1], data[1:3], data[3:4], data[4:9], data[9:]):
                host.send(piece)
                time.sleep(0.05)
            tally.equal(name, host.read_replies(1), [ok_reply(b'"pieces"')])
        except NMClientError as error:
            tally.fails(name, f"{error}{stderr_tail(host)}")
        # A shorter frame after a longer one: nothing of the earlier frame may be read.
        expect_reply(tally, host, "framing: long frame",
                     b'{"type":"hello","id":"long","pad":"' + b"p" * 5000 + b'"}',
                     ok_reply(b'"long"'))
        expect_reply(tally, host, "framing: shorter frame after it", b'{"type":"hello"}',
                     ok_reply(b"null"))
        expect_reply(tally, host, "framing: empty frame after it", b"", INVALID)


def padded_hello(size, id_json=b"1"):
    """A hello request of exactly `size` bytes, padded with a long string member."""
    head = b'{"type":"hello","id":' + id_json + b',"pad":"'
    return head + b"x" * (size - len(head) - 2) + b'"}'


def id_for_reply_size(size, unit="a", reply=ok_reply):
    """A string id, written as JSON, that makes the reply exactly `size` bytes long,
    built of `unit` (padded with "a" where the size does not divide)."""
    fixed = len(reply(b'""'))
    room = size - fixed
    unit_bytes = unit.encode()
    count, rest = divmod(room, len(unit_bytes))
    return b'"' + unit_bytes * count + b"a" * rest + b'"'


def size_limits_group(target, tally):
    with session(target, tally, "size limits") as host:
        body = padded_hello(MAX_MESSAGE_SIZE)
        assert len(body) == MAX_MESSAGE_SIZE
        expect_reply(tally, host, "size: request of exactly 16 MiB", body, ok_reply(b"1"),
                     timeout=max(host.timeout, 60))
        expect_reply(tally, host, "size: short request after it", hello_with_id(b"2"),
                     ok_reply(b"2"))
        replies = [
            ("ASCII id", id_for_reply_size(MAX_REPLY_SIZE), ok_reply),
            ("multi-byte id", id_for_reply_size(MAX_REPLY_SIZE, "é\U0001F600"), ok_reply),
            ("error reply", id_for_reply_size(MAX_REPLY_SIZE, reply=error_reply_unknown),
             error_reply_unknown),
        ]
        for name, id_json, reply in replies:
            want = reply(id_json)
            assert len(want) == MAX_REPLY_SIZE
            request = (hello_with_id(id_json) if reply is ok_reply
                       else b'{"type":"nope","id":' + id_json + b"}")
            expect_reply(tally, host, f"size: reply of exactly 1 MiB, {name}", request, want)


def error_reply_unknown(id_json):
    return error_reply("unknown_request", id_json)


def ending_group(target, tally):
    """Inputs that end the host: exit code and everything it wrote."""
    first = frame(hello_with_id(b"1"))
    answered = frame(ok_reply(b"1"))
    over = [
        ("16,777,217", MAX_MESSAGE_SIZE + 1),
        ("2^31", 0x80000000),
        ("2^32 - 1", 0xFFFFFFFF),
    ]
    cases = [
        ("input ends at once", b"", True, 0, b""),
        ("input ends after a message", first, True, 0, answered),
        ("input ends after 1 byte of a length", first + b"\x05", True, 0, answered),
        ("input ends after 2 bytes of a length", first + b"\x05\x00", True, 0, answered),
        ("input ends after 3 bytes of a length", first + b"\x05\x00\x00", True, 0, answered),
        ("input ends inside a body", first + struct.pack("<I", 100) + b"{" * 50, True, 1,
         answered),
        ("input ends before a body", first + struct.pack("<I", 10), True, 1, answered),
        ("input ends before a 16 MiB body", first + struct.pack("<I", MAX_MESSAGE_SIZE),
         True, 1, answered),
        ("input ends inside a frame after an empty one", frame(b"") + b"\x03\x00\x00\x00{}",
         True, 1, frame(INVALID)),
    ]
    # An announced length over the limit ends the host at once: the input stays open,
    # so a host that waited for the body would not exit.
    cases += [(f"length {label} ends the host without reading the body",
               first + struct.pack("<I", length), False, 1, answered)
              for label, length in over]
    cases += [
        ("reply of 1 MiB + 1 byte, ASCII id",
         first + frame(hello_with_id(id_for_reply_size(MAX_REPLY_SIZE + 1))), False, 1,
         answered),
        ("reply of 1 MiB + 1 byte, fewer characters than bytes",
         first + frame(hello_with_id(id_for_reply_size(MAX_REPLY_SIZE + 1, "é"))), False, 1,
         answered),
    ]
    name = "end: a reader that went away makes the reply fail, exit 1"
    host = target.host()
    try:
        host.start()
        host.close_output()
        host.send(first)
        tally.equal(name, host.wait(), 1)
    except NMClientError as error:
        tally.fails(name, f"{error}{stderr_tail(host)}")
    finally:
        host.kill()

    for name, data, close, want_code, want_output in cases:
        host = target.host()
        try:
            got = run_to_end(host, data, close=close)
        except NMClientError as error:
            tally.fails(f"end: {name}", f"{error}{stderr_tail(host)}")
            continue
        tally.equal(f"end: {name}", got, (want_code, want_output))


def modes_group(target, tally):
    # Argument lists that choose native messaging mode, however else they look.
    native_messaging = [
        ("origin", [ORIGIN]),
        ("origin before --launch", [ORIGIN, "--launch"]),
        ("--launch before origin", ["--launch", ORIGIN]),
        ("manifest path", ["C:\\Users\\u\\AppData\\Local\\tessiva\\com.orbelle.tessiva.json"]),
        ("extension id", ["tessiva@orbelle.software"]),
        ("parent window too large", [ORIGIN, "--parent-window=99999999999999999999999"]),
        ("parent window not a number", ["--parent-window=12ab", ORIGIN]),
        ("parent window lone sign", [ORIGIN, "--parent-window=-"]),
    ]
    for name, args in native_messaging:
        host = target.host(args)
        try:
            got = run_to_end(host, frame(hello_with_id(b"1")))
        except NMClientError as error:
            tally.fails(f"mode: {name}", f"{error}{stderr_tail(host)}")
            continue
        tally.equal(f"mode: {name} answers hello", got, (0, frame(ok_reply(b"1"))))

    name = "mode: --launch as last argument exits 1, writes nothing"
    host = target.host(["--launch"])
    try:
        code, output = run_to_end(host, b"")
    except NMClientError as error:
        tally.fails(name, str(error))
        return
    # Wine itself may write to standard error; the native build must write nothing.
    stderr = b"" if target.wine else host.stderr_path.read_bytes()
    tally.equal(name, (code, output, stderr), (1, b"", b""))


GROUPS = [hello_group, id_echo_group, unknown_type_group, invalid_request_group,
          nesting_group, framing_group, size_limits_group, ending_group, modes_group]

if __name__ == "__main__":
    sys.exit(main(GROUPS))
