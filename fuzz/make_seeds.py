#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Run by hand when the input layout of a target changes; the files it writes
are committed. Frames are built here from the wire format itself (checksum:
two's complement of the byte sum; CRC: plain shift-in division by 0x1021),
independently of the program's frame code.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def checksum(data):
    return (0x100 - (sum(data) & 0xFF)) & 0xFF


def crc(data):
    reg = 0
    for byte in data:
        for bit in range(7, -1, -1):
            top = reg & 0x8000
            reg = ((reg << 1) | ((byte >> bit) & 1)) & 0xFFFF
            if top:
                reg ^= 0x1021
    return reg


assert crc(b"123456789") == 0xBEEF


def frame(address, mode, command, data=b""):
    data = bytes(data)
    body = bytes([0x02, address, len(data) if mode else len(data) + 1, command]) + data
    if mode:
        value = crc(body)
        return body + bytes([value >> 8, value & 0xFF])
    return body + bytes([checksum(body)])


def write(target, name, content):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(content)


# ------------------------------------------------------------ reply reader
# control (bits 0-1 operation: 0 dcs_Query, 1 dcs_Receive, 2 scan portion,
# 3 reply-area query; bit 2 CRC; bit 3 seal), command, reply length,
# request data length, scan start (LE), scan count (LE), address, request
# data, then the bytes on the line.
def reader(control, command=0, reply_length=0, data=b"", start=0, count=0, address=1, line=b""):
    return (bytes([control, command, reply_length, len(data)]) + struct.pack("<HH", start, count)
            + bytes([address]) + bytes(data) + bytes(line))


model = b"0 M3-9-6".ljust(16, b"\0")
for mode in (0, 1):
    m = "crc" if mode else "checksum"
    c = 4 if mode else 0
    write("fuzz_reply_reader", f"query_model_name_{m}",
          reader(c, 127, 16, line=frame(1, mode, 127, model)))
    write("fuzz_reply_reader", f"query_with_request_data_{m}",
          reader(c, 0x21, 3, data=b"\x34\x12", line=frame(1, mode, 0x21, b"\x09\x08\x07")))
    write("fuzz_reply_reader", f"query_after_noise_{m}",
          reader(c, 127, 16, line=b"\x55\xff\x00\x13" + frame(1, mode, 127, model)))
    bad = bytearray(frame(1, mode, 127, model))
    bad[-1] ^= 0x01
    write("fuzz_reply_reader", f"query_bad_check_{m}", reader(c, 127, 16, line=bytes(bad)))
    write("fuzz_reply_reader", f"query_wrong_id_{m}",
          reader(c, 127, 16, line=frame(1, mode, 126, model)))
    write("fuzz_reply_reader", f"query_wrong_length_{m}",
          reader(c, 127, 16, line=frame(1, mode, 127, model[:15])))
    write("fuzz_reply_reader", f"query_other_address_{m}",
          reader(c, 127, 16, address=7, line=frame(9, mode, 127, model)))
    write("fuzz_reply_reader", f"query_short_body_{m}",
          reader(c, 127, 16, line=frame(1, mode, 127, model)[:-2]))
    write("fuzz_reply_reader", f"query_longest_frame_{m}",
          reader(c, 0x30, 254 + mode, line=frame(1, mode, 0x30, bytes(range(254 + mode)))))
    samples = bytes([0]) + b"".join(struct.pack("<h", v) for v in range(0, 1260, 10))
    write("fuzz_reply_reader", f"receive_scan_reply_{m}",
          reader(c | 1, 11, line=frame(1, mode, 11, samples)))
    # A scan read of 127 ranges: two replies, 126 samples and 1.
    first = bytes([1]) + b"".join(struct.pack("<h", v) for v in range(126))
    second = bytes([0]) + struct.pack("<h", -32768)
    write("fuzz_reply_reader", f"scan_portion_two_replies_{m}",
          reader(c | 2, start=0, count=127, line=frame(1, mode, 11, first) + frame(1, mode, 11, second)))
    write("fuzz_reply_reader", f"scan_portion_sealed_{m}",
          reader(c | 2 | 8, start=300, count=5, line=frame(1, mode, 11, bytes(11))[:-1] + b"\0\0"))
    write("fuzz_reply_reader", f"scan_portion_beyond_end_{m}", reader(c | 2, start=8000, count=200))
    errors = b"".join(struct.pack(">H" if mode else "<H", v) for v in (3, 1, 0, 2, 21845, 0))
    write("fuzz_reply_reader", f"error_state_{m}", reader(c | 3, 0, line=frame(1, mode, 20, errors)))
    state = bytes(range(1, 23))
    write("fuzz_reply_reader", f"board_flipper_state_{m}", reader(c | 3, 3, line=frame(1, mode, 41, state)))
write("fuzz_reply_reader", "checksum_length_zero", reader(1, 11, line=b"\x02\x01\x00\x0b\xf3"))

# ------------------------------------------------------------ settings file
write("fuzz_settings_file", "first_connection",
      b"[Serial Settings]\nPort=1\nBaudrate=57600\nAddress=1\nRead timeout=100\nWrite timeout=100\n\n")
write("fuzz_settings_file", "port_map_and_device",
      b"; written by hand\n[Serial Settings]\nPort=3\nBaudrate=38400\nAddress=12\n"
      b"Read timeout=200\nWrite timeout=300\nDevice=/dev/ttyUSB0\n\n"
      b"[Port Map]\nCOM3=/dev/ttyUSB0\n com4 = /dev/pts/7 \nCOM0=/dev/null\nnot a setting\n\n")
write("fuzz_settings_file", "edited_on_another_system",
      b"[Serial Settings]\r\nport=7\r\nPort =2\r\nBaudrate= 19200\r\nAddress=-1\r\n"
      b"Read timeout=-5\r\n[Serial Settings]\r\nAddress=0x10\r\n[Empty]\r\n[Other]trailing\r\nk=v=w\r\n=\r\nWrite timeout")
write("fuzz_settings_file", "full_capacity",
      b"".join(b"[s%d]\n" % i + b"".join(b"k%d=%d\n" % (k, k) for k in range(25)) for i in range(25))
      + b"[s3]\nlate=1\n")

# Found by fuzzing: a kept line ending in a carriage return, and sections
# beyond the capacity followed by more of an earlier section.
write("fuzz_settings_file", "regression_kept_line_with_carriage_return", b"\r\r\n\n[s]\na=b\r\r\n")
write("fuzz_settings_file", "regression_overflow_then_earlier_section",
      b"".join(b"[s%d]\nk=%d\n" % (i, i) for i in range(24)) + b"[y]\nz=1\n[s23]\na=1\n")

# ------------------------------------------------------------ scan decode
# count of samples asked (byte value - 2), then one reply's data bytes.
def scan(count, left, values):
    return bytes([count + 2, left]) + b"".join(struct.pack("<h", v) for v in values)


write("fuzz_scan_decode", "full_portion", scan(126, 0, range(-63 * 500, 63 * 500, 500)))
write("fuzz_scan_decode", "out_of_range_and_extremes", scan(5, 2, [-32768, -1, 0, 32767, 12345]))
write("fuzz_scan_decode", "short_reply", scan(10, 0, [1, 2, 3]))
write("fuzz_scan_decode", "ranges_to_read_field", bytes([4]) + b" 127 ")

# ------------------------------------------------------------ model identification
for text in (b"0 QMT2000", b"O QMT2000", b"1 QMTLONG", b"0 M3-9-6BF", b"0 KRV-02", b"1 M15-150-7"):
    name = text.decode().replace(" ", "_")
    write("fuzz_model_identification", name, b"\0" + text.ljust(16, b"\0"))
write("fuzz_model_identification", "lower_case_manufacturing", b"\1" + b"0 qmt2000".ljust(16, b"\0"))
write("fuzz_model_identification", "longer_than_a_table_string", b"\0" + b"0 M3-9-6X".ljust(16, b"\0"))
write("fuzz_model_identification", "sixteen_characters", b"\0" + b"0 M3-9-6BF000000")

# ------------------------------------------------------------ number reading
# scale choice, mode entry (value - 2), order factor entry (value - 2),
# model, then the field text.
def field(text, mode=2, order=5, scale=3):
    return bytes([scale, mode + 2, order + 2, 0]) + text


for i, text in enumerate((b"255", b"256", b"-1", b" +12abc", b"1.750", b"1.0001", b"0.29",
                          b"21474836.47", b"-0.0", b"1e999", b"nan", b"inf", b"0x10",
                          b"9" * 30, b"\t42\n", b"On", b" disabled ", b"4294967296")):
    write("fuzz_number_reading", "field_%02d" % i, field(text, mode=i % 18 - 1, order=i % 12 - 1, scale=i))
# A step of the averaging count far beyond the largest count.
write("fuzz_number_reading", "averaging_step_beyond_the_largest_count",
      bytes([3, 4, 7, 0]) + b"1800000000e-5800000000e-5")
# Found by fuzzing: far too large for a double although its exponent is negative.
write("fuzz_number_reading", "regression_long_digits_negative_exponent", field(b"1" + b"0" * 400 + b"e-5"))
