#!/usr/bin/env python3
"""Malformed update catalogues for the reliability campaign's catalogue part.

    catalogues_generator.py <seed> <folder> <product> <update host>

Writes into <folder> one valid catalogue (valid.xml: an update 2.3.11 of
<product>, which the part installs as 2.3.10) and, derived from it with a
random generator seeded by <seed>, the malformed ones, named
<kind>-<number>.xml. Prints one line per file: "<kind> <file name>". The
same seed gives the same files.
"""
import os
import random
import sys

KINDS = {}


def kind(name, count):
    def register(function):
        KINDS[name] = (count, function)
        return function
    return register


def valid_catalogue(product, host, description="Alpha update: faster start."):
    return (
        '<?xml version="1.0" encoding="windows-1252"?>\r\n<catalogue>\r\n<products>\r\n'
        '<product><product>Zvu Bad Offered</product><description>Offered product</description>'
        '<major>3</major><minor>0</minor><build>0</build><subbuild>0</subbuild><size>1048576</size>'
        '</product>\r\n</products>\r\n<updates>\r\n'
        f'<update><product>{product}</product><description>{description}</description>'
        '<major>2</major><minor>3</minor><build>11</build><subbuild>0</subbuild>'
        f'<url>http://{host}/files/alpha-2.3.11.msi</url><size>9728</size>'
        '<options>/l*v "&lt;log_file_name&gt;"</options></update>\r\n'
        '</updates>\r\n</catalogue>\r\n').encode('cp1252')


@kind('truncated', 120)
def truncated(rng, base, ctx):
    return base[:rng.randrange(0, len(base))]


@kind('mutated', 120)
def mutated(rng, base, ctx):
    data = bytearray(base)
    for _ in range(rng.randint(1, 24)):
        data[rng.randrange(len(data))] = rng.randrange(256)
    return bytes(data)


@kind('ff-nul', 60)
def ff_nul(rng, base, ctx):
    data = bytearray(base)
    choice = rng.randrange(4)
    if choice == 0:  # a 0xFF inside the update's description ('\xff' in cp1252)
        at = base.index(b'faster') + rng.randrange(6)
        data[at:at] = b'\xff' * rng.randint(1, 3)
    elif choice == 1:  # NUL bytes anywhere
        for _ in range(rng.randint(1, 5)):
            data.insert(rng.randrange(len(data)), 0)
    elif choice == 2:  # runs of 0xFF anywhere
        at = rng.randrange(len(data))
        data[at:at] = b'\xff' * rng.randint(1, 4096)
    else:  # a body of only 0xFF or only NUL
        data = bytearray([rng.choice([0, 0xFF])]) * rng.randint(1, 65536)
    return bytes(data)


@kind('nested', 40)
def nested(rng, base, ctx):
    depth = rng.choice([100, 1000, 10000, 100000, 250000])
    where = rng.randrange(3)
    opening = b'<n>' * depth
    closing = b'</n>' * depth if rng.random() < 0.7 else b''
    if where == 0:  # around the whole document
        return opening + base.split(b'?>', 1)[1] + closing
    if where == 1:  # inside the update's description
        return base.replace(b'<description>Alpha update', b'<description>' + opening + b'x' + closing, 1)
    return base.replace(b'<updates>', b'<updates>' + opening + closing, 1)  # inside the list


HUGE_NUMBERS = [
    b'99999999999999999999', b'-1', b'2147483647', b'2147483648', b'4294967295', b'4294967296',
    b'-2147483648', b'-2147483649', b'1e10', b'0x10', b'  +7abc', b'\t-0', b'', b'   ',
    b'18446744073709551616', b'+', b'-', b'00000000000000000000000000000011', b'\xb2',
    b'&#x661;', b'1' * 5000,
]


@kind('numbers', 80)
def numbers(rng, base, ctx):
    data = base
    for _ in range(rng.randint(1, 4)):
        field = rng.choice([b'major', b'minor', b'build', b'subbuild', b'size'])
        value = rng.choice(HUGE_NUMBERS)
        if rng.random() < 0.2:
            value = str(rng.randrange(-10 ** 30, 10 ** 30)).encode()
        head, _, rest = data.partition(b'<' + field + b'>')
        if not rest:
            continue
        _, _, tail = rest.partition(b'</' + field + b'>')
        data = head + b'<' + field + b'>' + value + b'</' + field + b'>' + tail
    return data


def many_updates(base, count):
    start = base.index(b'<update>')
    end = base.index(b'</updates>')
    return base[:start] + base[start:end] * count + base[end:]


STRUCTURE = [
    lambda rng, base, ctx: many_updates(base, rng.choice([100, 1000, 10000])),
    lambda rng, base, ctx: base.replace(b'<product>' + ctx['product'].encode(), b'<product name="x">', 1),
    lambda rng, base, ctx: base.replace(b'<updates>', b'<updates><![CDATA[<update>]]>', 1),
    lambda rng, base, ctx: base.replace(b'<catalogue>', b'<!DOCTYPE c [<!ENTITY a "' + b'x' * 1000 + b'">'
                                        b'<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">'
                                        b'<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]><catalogue>', 1)
    .replace(b'Alpha update', b'&c;', 1),
    lambda rng, base, ctx: base.replace(b'Alpha update', b'&undefined;', 1),
    lambda rng, base, ctx: base.replace(b'<catalogue>', b'<!DOCTYPE c SYSTEM "http://127.0.0.1:1/x.dtd"><catalogue>', 1),
    lambda rng, base, ctx: base.replace(b'windows-1252', b'UTF-16', 1),
    lambda rng, base, ctx: b'\xef\xbb\xbf' + base,
    lambda rng, base, ctx: b'\xff\xfe' + base.decode('cp1252').encode('utf-16-le'),
    lambda rng, base, ctx: base + base,
    lambda rng, base, ctx: base.replace(b'</catalogue>', b'</catalogue><second/>', 1),
    lambda rng, base, ctx: base.replace(b'<updates>', b'<updates><!-- ' + b'-' * rng.randint(0, 9) + b' -->', 1),
    lambda rng, base, ctx: base.replace(b'<updates>', b'<updates><?pi ' + b'x' * 100000 + b'?>', 1),
    lambda rng, base, ctx: base.replace(b'<updates>', b'<updates>' + b'text ' * 1000, 1),
    lambda rng, base, ctx: base.replace(b'<update>', b'<update/><update>', 1),
    lambda rng, base, ctx: base.replace(b'<updates>', b'<updates/><updates>', 1),
    lambda rng, base, ctx: base.replace(b'Alpha update', b'\x81\x8d\x8f\x90\x9d' * 100, 1),
    lambda rng, base, ctx: base.replace(b'Alpha update', b'\x01\x02\x1b\x7f', 1),
    lambda rng, base, ctx: base.replace(b'Alpha update', b'x' * rng.choice([65536, 1 << 20]), 1),
    lambda rng, base, ctx: base.replace(b'<url>http://', b'<url>' + b'h' * 70000 + b'://', 1),
    lambda rng, base, ctx: base.replace(ctx['product'].encode(), b'Q' * 2000, 1),
    lambda rng, base, ctx: base.replace(b'<catalogue>', b'<' + b'r' * 100000 + b'>', 1).replace(
        b'</catalogue>', b'</' + b'r' * 100000 + b'>', 1),
    lambda rng, base, ctx: base.replace(b'<update>', b'<update ' + b' '.join(
        b'a%d="%d"' % (i, i) for i in range(5000)) + b'>', 1),
    lambda rng, base, ctx: b'',
    lambda rng, base, ctx: b' \r\n\t ',
    lambda rng, base, ctx: b'<?xml version="1.0"?>',
    lambda rng, base, ctx: b'<html><body>502 Bad Gateway</body></html>',
    lambda rng, base, ctx: b'{"updates": []}',
]


@kind('structure', 90)
def structure(rng, base, ctx):
    index = ctx['structure']
    ctx['structure'] += 1
    return STRUCTURE[index % len(STRUCTURE)](rng, base, ctx)


@kind('huge', 4)
def huge(rng, base, ctx):
    index = ctx['huge']
    ctx['huge'] += 1
    if index == 0:  # 50 MB: one description of that size, otherwise valid
        filler = b'Zelko ' * ((50 * 1024 * 1024) // 6)
        return base.replace(b'Alpha update', filler, 1)
    if index == 1:  # 50 MB of updates (each of them applicable)
        one = len(base[base.index(b'<update>'):base.index(b'</updates>')])
        return many_updates(base, (50 * 1024 * 1024) // one)
    if index == 2:  # 50 MB, cut in the middle
        filler = b'Zelko ' * ((50 * 1024 * 1024) // 6)
        return base.replace(b'Alpha update', filler, 1)[:25 * 1024 * 1024]
    return rng.randbytes(5 * 1024 * 1024)  # 5 MB of noise


def main():
    seed, folder, product, host = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    os.makedirs(folder, exist_ok=True)
    base = valid_catalogue(product, host)
    with open(os.path.join(folder, 'valid.xml'), 'wb') as out:
        out.write(base)
    ctx = {'product': product, 'structure': 0, 'huge': 0}
    for name, (count, function) in KINDS.items():
        rng = random.Random(f'{seed}-{name}')
        for number in range(count):
            data = function(rng, base, ctx)
            file_name = f'{name}-{number:03d}.xml'
            with open(os.path.join(folder, file_name), 'wb') as out:
                out.write(data)
            print(name, file_name)


if __name__ == '__main__':
    main()
