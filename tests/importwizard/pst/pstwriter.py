#!/usr/bin/env python3
"""Writes small Outlook data files for the tests, after the published PST file format: Unicode
(64-bit) and ANSI (32-bit) personal folders files (.pst) and offline folders files (.ost, the same
layout under another client signature). The NDB layer (header, node and block B-trees, data and subnode blocks, allocation
maps), the LTP layer (heap-on-node, B-tree-on-heap, property and table contexts) and the
messaging layer (message store, name-to-id map, folders with their hierarchy, contents and
associated contents tables, messages with their recipient tables). Python 3 standard library only.

    python3 pstwriter.py OUT.pst [unicode|ansi|ost|ansi-ost] < plan.json

An ANSI file stores its texts in Windows-1252 (the property types 0x001E and 0x101E); the names of
named properties stay UTF-16, as the format has them in either layout.

The plan:
    {"store": "Persönliche Ordner",
     "folders": [{"name": "Kontakte", "class": "IPF.Contact",
                  "items": [{"class": "IPM.Contact", "props": [PROP, ...]}, ...],
                  "folders": [...]}],
     "outside": [{"name": "Freebusy Data", "items": [], "folders": []}]}
A folder with "search": true is made as a search folder (its identifier's type and folder type).
A folder's "rows" lists the indexes of its items in the order of its contents table (the order
a view of Outlook's sorts them in); without it the table lists them as written.
The folders are made below the IPM subtree, "outside" ones beside it below the root folder.
PROP: {"tag": 0x3A06, "type": 0x001F, "value": "Anna"} for a property tag, or
{"set": "address"|"common"|"public", "lid": 0x8083 | "name": "Keywords", "type": ..., "value": ...}
for a named property. Types: 0x001F text, 0x101F list of texts, 0x0102 hex text, 0x0003 and
0x0002 integers, 0x000B booleans, 0x0040 [y, m, d, h, min, s] (UTC), 0x0005 floats.
A mail item may carry "recipients": [{"name": ..., "address": ..., "type": "SMTP"}].
"""
import json
import struct
import sys
import zlib

BLOCK_MAX = 8176          # data bytes of one block
HN_ALLOC_MAX = 3580       # largest heap allocation
PAGE = 512
AMAP_SPAN = 496 * 8 * 64  # bytes one allocation map covers
FIRST_AMAP = 0x4400
PMAP_SPAN = AMAP_SPAN * 8

PT_SHORT, PT_LONG, PT_DOUBLE, PT_BOOLEAN, PT_I8 = 0x0002, 0x0003, 0x0005, 0x000B, 0x0014
PT_UNICODE, PT_SYSTIME, PT_BINARY, PT_MV_UNICODE = 0x001F, 0x0040, 0x0102, 0x101F
PT_STRING8, PT_MV_STRING8 = 0x001E, 0x101E

FORMATS = ("unicode", "ansi", "ost", "ansi-ost")

GUIDS = {
    # The first three fields of a GUID are stored little-endian.
    "address": bytes.fromhex("0420060000000000C000000000000046"),
    "common": bytes.fromhex("0820060000000000C000000000000046"),
    "public": bytes.fromhex("2903020000000000C000000000000046"),
}

NID_MESSAGE_STORE, NID_NAME_TO_ID_MAP, NID_ROOT_FOLDER = 0x21, 0x61, 0x122
NID_TYPE_NORMAL_FOLDER, NID_TYPE_SEARCH_FOLDER, NID_TYPE_NORMAL_MESSAGE = 0x02, 0x03, 0x04
NID_TYPE_HIERARCHY_TABLE, NID_TYPE_CONTENTS_TABLE, NID_TYPE_ASSOC_CONTENTS_TABLE = 0x0D, 0x0E, 0x0F
NID_TYPE_LTP = 0x1F
NID_RECIPIENT_TABLE = 0x692


def crc(data):
    """The format's CRC: the CRC-32 table walk started at 0, without the final inversion."""
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def signature(ib, bid):
    x = (ib ^ bid) & 0xFFFFFFFFFFFFFFFF
    return ((x >> 16) ^ x) & 0xFFFF


def nid(index, kind):
    return (index << 5) | kind


# ---- property values -----------------------------------------------------------------------

def filetime(parts):
    import datetime
    t = datetime.datetime(*parts, tzinfo=datetime.timezone.utc)
    epoch = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)
    delta = t - epoch
    return (delta.days * 86400 + delta.seconds) * 10000000 + delta.microseconds * 10


def stored_type(ptype, ansi):
    """The type a value is stored under: an ANSI file keeps its texts as 8-bit strings."""
    if ansi:
        return {PT_UNICODE: PT_STRING8, PT_MV_UNICODE: PT_MV_STRING8}.get(ptype, ptype)
    return ptype


def encode_value(ptype, value):
    """The stored bytes of a value: fixed ones of 4 bytes or fewer go into the property record."""
    if ptype == PT_UNICODE:
        return value.encode("utf-16-le")
    if ptype == PT_STRING8:
        return value.encode("cp1252")
    if ptype == PT_BINARY:
        return bytes.fromhex(value)
    if ptype in (PT_MV_UNICODE, PT_MV_STRING8):
        codec = "utf-16-le" if ptype == PT_MV_UNICODE else "cp1252"
        strings = [s.encode(codec) for s in value]
        offset = 4 + 4 * len(strings)
        out = struct.pack("<I", len(strings))
        for s in strings:
            out += struct.pack("<I", offset)
            offset += len(s)
        return out + b"".join(strings)
    if ptype == PT_LONG:
        return struct.pack("<i", value)
    if ptype == PT_SHORT:
        return struct.pack("<h", value)
    if ptype == PT_BOOLEAN:
        return struct.pack("<B", 1 if value else 0)
    if ptype == PT_I8:
        return struct.pack("<q", value)
    if ptype == PT_DOUBLE:
        return struct.pack("<d", value)
    if ptype == PT_SYSTIME:
        return struct.pack("<Q", filetime(value))
    raise ValueError("type %04X" % ptype)


def is_fixed(ptype):
    return ptype in (PT_SHORT, PT_LONG, PT_BOOLEAN)


# ---- heap-on-node --------------------------------------------------------------------------

class Heap:
    """A heap-on-node: allocations packed into blocks of at most BLOCK_MAX bytes."""

    def __init__(self, client_sig):
        self.client_sig = client_sig
        self.blocks = [[]]   # allocations per block
        self.used = [12]     # bytes per block: header, allocations (the page map is added on top)
        self.root = 0

    @staticmethod
    def header_size(index):
        if index == 0:
            return 12
        return 66 if index % 128 == 8 else 2

    def alloc(self, data):
        data = bytes(data)
        assert 0 < len(data) <= HN_ALLOC_MAX, len(data)
        b = len(self.blocks) - 1
        count = len(self.blocks[b])
        need = self.used[b] + len(data) + 1 + 4 + 2 * (count + 2)
        if need > BLOCK_MAX or count >= 2000:
            self.blocks.append([])
            b += 1
            self.used.append(self.header_size(b))
        self.blocks[b].append(data)
        self.used[b] += len(data)
        return (b << 16) | (len(self.blocks[b]) << 5)

    def serialize(self):
        """The heap's blocks as bytes."""
        out = []
        for b, allocs in enumerate(self.blocks):
            body = b"".join(allocs)
            head = self.header_size(b)
            ib_map = head + len(body)
            ib_map += ib_map & 1
            if b == 0:
                header = struct.pack("<HBBI4s", ib_map, 0xEC, self.client_sig, self.root, b"\0" * 4)
            elif head == 66:
                header = struct.pack("<H", ib_map) + b"\0" * 64
            else:
                header = struct.pack("<H", ib_map)
            offsets = [head]
            for a in allocs:
                offsets.append(offsets[-1] + len(a))
            page_map = struct.pack("<HH", len(allocs), 0) + b"".join(struct.pack("<H", o) for o in offsets)
            data = header + body
            data += b"\0" * (ib_map - len(data))
            out.append(data + page_map)
            assert len(out[-1]) <= BLOCK_MAX
        return out


def bth(heap, key_size, entry_size, records):
    """A B-tree-on-heap over sorted (key bytes, entry bytes) records; returns its header's HID."""
    levels = 0
    if records:
        per = HN_ALLOC_MAX // (key_size + entry_size)
        level = []
        for i in range(0, len(records), per):
            chunk = records[i:i + per]
            hid = heap.alloc(b"".join(k + e for k, e in chunk))
            level.append((chunk[0][0], hid))
        while len(level) > 1:
            levels += 1
            per = HN_ALLOC_MAX // (key_size + 4)
            upper = []
            for i in range(0, len(level), per):
                chunk = level[i:i + per]
                hid = heap.alloc(b"".join(k + struct.pack("<I", h) for k, h in chunk))
                upper.append((chunk[0][0], hid))
            level = upper
        root = level[0][1]
    else:
        root = 0
    return heap.alloc(struct.pack("<BBBBI", 0xB5, key_size, entry_size, levels, root))


# ---- nodes -----------------------------------------------------------------------------------

class Node:
    """A node's data (a list of block payloads) and its subnodes {nid: Node}."""

    def __init__(self, blocks, subnodes=None):
        self.blocks = blocks
        self.subnodes = subnodes or {}


def split(data):
    return [data[i:i + BLOCK_MAX] for i in range(0, len(data), BLOCK_MAX)] or [b""]


class SubnodeIds:
    def __init__(self):
        self.next = 0x100

    def take(self):
        self.next += 1
        return nid(self.next, NID_TYPE_LTP)


def property_context(props, ids, ansi=False):
    """A property context over [(tag id, type, value)]; large values go to subnodes."""
    heap = Heap(0xBC)
    subnodes = {}
    records = []
    for tag, ptype, value in sorted(props, key=lambda p: p[0]):
        ptype = stored_type(ptype, ansi)
        raw = encode_value(ptype, value)
        if is_fixed(ptype):
            ref = struct.unpack("<I", raw.ljust(4, b"\0"))[0]
        elif len(raw) == 0:
            ref = 0  # an empty value takes no heap room
        elif len(raw) <= HN_ALLOC_MAX:
            ref = heap.alloc(raw)
        else:
            sub = ids.take()
            subnodes[sub] = Node(split(raw))
            ref = sub
        records.append((struct.pack("<H", tag), struct.pack("<HI", ptype, ref)))
    heap.root = bth(heap, 2, 6, records)
    return Node(heap.serialize(), subnodes)


def table_context(columns, rows, ids, ansi=False):
    """A table context. columns: [(tag id, type)] besides the row id and version; rows:
    [(row id, {tag id: value})]."""
    cols = [(0x67F2, PT_LONG), (0x67F3, PT_LONG)] + [(tag, stored_type(ptype, ansi)) for tag, ptype in columns
                                                     if tag not in (0x67F2, 0x67F3)]
    size = {PT_SHORT: 2, PT_BOOLEAN: 1, PT_LONG: 4, PT_I8: 8, PT_DOUBLE: 8, PT_SYSTIME: 8}
    # Cells: the row id and version first, then 8- and 4-byte cells, 2-byte, 1-byte, the bitmap.
    layout = {}
    ib = 8
    layout[0x67F2], layout[0x67F3] = (0, 4, 0), (4, 4, 1)
    rest = cols[2:]
    for width in (8, 4, 2, 1):
        for i, (tag, ptype) in enumerate(rest):
            if size.get(ptype, 4) == width:
                layout[tag] = (ib, width, i + 2)
                ib += width
        if width == 4:
            end4 = ib
        elif width == 2:
            end2 = ib
        elif width == 1:
            end1 = ib
    row_size = end1 + (len(cols) + 7) // 8
    types = dict(cols)

    heap = Heap(0x7C)
    subnodes = {}
    matrix = []
    index = []
    for n, (row_id, values) in enumerate(rows):
        row = bytearray(row_size)
        cells = dict(values)
        cells[0x67F2] = row_id
        cells[0x67F3] = 1
        for tag, value in cells.items():
            ib_cell, width, bit = layout[tag]
            ptype = types[tag]
            raw = encode_value(ptype, value)
            if not (is_fixed(ptype) or ptype in size):
                if not raw:
                    continue  # an empty value is no value
                raw = struct.pack("<I", heap.alloc(raw))
            row[ib_cell:ib_cell + width] = raw[:width].ljust(width, b"\0")
            row[end1 + bit // 8] |= 0x80 >> (bit % 8)
        matrix.append(bytes(row))
        # The row index gives a row's position in 2 bytes in an ANSI file, in 4 in a Unicode one.
        index.append((struct.pack("<I", row_id), struct.pack("<H" if ansi else "<I", n)))
    index.sort(key=lambda r: struct.unpack("<I", r[0])[0])
    row_index = bth(heap, 4, 2 if ansi else 4, index)

    per_block = BLOCK_MAX // row_size
    data = b"".join(matrix)
    if not matrix:
        rows_ref = 0
    elif len(data) <= HN_ALLOC_MAX:
        rows_ref = heap.alloc(data)
    else:
        # Rows never span blocks.
        sub = ids.take()
        subnodes[sub] = Node([b"".join(matrix[i:i + per_block]) for i in range(0, len(matrix), per_block)])
        rows_ref = sub
    descs = b"".join(struct.pack("<IHBB", (tag << 16) | ptype, layout[tag][0], layout[tag][1], layout[tag][2])
                     for tag, ptype in sorted(cols, key=lambda c: (c[0] << 16) | c[1]))
    info = struct.pack("<BBHHHHIII", 0x7C, len(cols), end4, end2, end1, row_size, row_index, rows_ref, 0) + descs
    heap.root = heap.alloc(info)
    return Node(heap.serialize(), subnodes)


# ---- the file ------------------------------------------------------------------------------

class Writer:
    def __init__(self, ansi=False):
        self.ansi = ansi
        self.nodes = {}       # nid -> (parent nid, Node)
        self.next_folder = 0x400
        self.next_message = 0x10000
        self.named = {}       # (set, lid or name) -> property id
        self.uid = bytes(range(0x10, 0x20))
        self.names = {}       # folder nid -> name

    def pc(self, props, ids):
        return property_context(props, ids, self.ansi)

    def tc(self, columns, rows, ids):
        return table_context(columns, rows, ids, self.ansi)

    def named_id(self, prop_set, key):
        k = (prop_set, key)
        if k not in self.named:
            self.named[k] = 0x8000 + len(self.named)
        return self.named[k]

    def props(self, given):
        out = []
        for p in given:
            if "tag" in p:
                tag = p["tag"]
            else:
                tag = self.named_id(p["set"], p["lid"] if "lid" in p else p["name"])
            out.append((tag, p["type"], p["value"]))
        return out

    def entry_id(self, node_id):
        return (b"\0" * 4 + self.uid + struct.pack("<I", node_id)).hex()

    def add(self, node_id, parent, node):
        self.nodes[node_id] = (parent, node)

    def folder(self, plan, parent, folder_id=None):
        if folder_id is None:
            kind = NID_TYPE_SEARCH_FOLDER if plan.get("search") else NID_TYPE_NORMAL_FOLDER
            folder_id = nid(self.next_folder, kind)
            self.next_folder += 1
        self.names[folder_id] = plan["name"]
        children = []
        for sub in plan.get("folders", []):
            children.append(self.folder(sub, folder_id))
        messages = []
        for item in plan.get("items", []):
            messages.append(self.message(item, folder_id))
        ids = SubnodeIds()
        props = [(0x3001, PT_UNICODE, plan["name"]), (0x3602, PT_LONG, len(messages)),
                 (0x3603, PT_LONG, 0), (0x360A, PT_BOOLEAN, bool(children)),
                 (0x3601, PT_LONG, 2 if plan.get("search") else 1)]
        if plan.get("class"):
            props.append((0x3613, PT_UNICODE, plan["class"]))
        self.add(folder_id, parent, self.pc(props, ids))
        index = folder_id >> 5
        hierarchy = [(c_id, {0x3001: name, 0x3602: count, 0x3603: 0, 0x360A: has_sub})
                     for c_id, name, count, has_sub in children]
        self.add(nid(index, NID_TYPE_HIERARCHY_TABLE), 0, self.tc(
            [(0x3001, PT_UNICODE), (0x3602, PT_LONG), (0x3603, PT_LONG), (0x360A, PT_BOOLEAN)], hierarchy, SubnodeIds()))
        rows = plan.get("rows", range(len(messages)))
        assert sorted(rows) == list(range(len(messages))), "rows must list every item once"
        contents = [(m_id, {0x001A: cls, 0x0037: subject, 0x0E07: 1}) for m_id, cls, subject in
                    (messages[i] for i in rows)]
        self.add(nid(index, NID_TYPE_CONTENTS_TABLE), 0, self.tc(
            [(0x001A, PT_UNICODE), (0x0037, PT_UNICODE), (0x0E07, PT_LONG)], contents, SubnodeIds()))
        self.add(nid(index, NID_TYPE_ASSOC_CONTENTS_TABLE), 0, self.tc([(0x001A, PT_UNICODE)], [], SubnodeIds()))
        return folder_id, plan["name"], len(messages), bool(children)

    def message(self, item, parent):
        message_id = nid(self.next_message, NID_TYPE_NORMAL_MESSAGE)
        self.next_message += 1
        cls = item.get("class", "IPM.Note")
        props = [(0x001A, PT_UNICODE, cls), (0x0E07, PT_LONG, 1), (0x0E08, PT_LONG, 1024),
                 (0x3007, PT_SYSTIME, [2024, 5, 1, 12, 0, 0]), (0x3008, PT_SYSTIME, [2024, 5, 1, 12, 0, 0])]
        given = self.props(item.get("props", []))
        tags = {t for t, _, _ in given}
        props = [p for p in props if p[0] not in tags] + given
        subject = next((v for t, _, v in props if t == 0x0037), "")
        ids = SubnodeIds()
        node = self.pc(props, ids)
        # Every message carries its recipient table (empty for contacts).
        recipients = [(i + 1, {0x0C15: 1, 0x3001: r.get("name", ""), 0x3003: r.get("address", ""),
                               0x3002: r.get("type", "SMTP"), 0x39FE: r.get("address", "")})
                      for i, r in enumerate(item.get("recipients", []))]
        node.subnodes[NID_RECIPIENT_TABLE] = self.tc(
            [(0x0C15, PT_LONG), (0x3001, PT_UNICODE), (0x3003, PT_UNICODE), (0x3002, PT_UNICODE), (0x39FE, PT_UNICODE)],
            recipients, ids)
        self.add(message_id, parent, node)
        return message_id, cls, subject

    def name_to_id_map(self):
        guids = []
        entries = []
        strings = b""
        buckets = {}
        for (prop_set, key), prop_id in sorted(self.named.items(), key=lambda kv: kv[1]):
            if prop_set == "public":
                guid_index = 2
            else:
                if GUIDS[prop_set] not in guids:
                    guids.append(GUIDS[prop_set])
                guid_index = 3 + guids.index(GUIDS[prop_set])
            if isinstance(key, str):
                text = key.encode("utf-16-le")
                ident = len(strings)
                strings += struct.pack("<I", len(text)) + text
                strings += b"\0" * (-len(strings) % 4)
                kind = 1
                hashed = crc(text)
            else:
                ident = key
                kind = 0
                hashed = key
            word = (guid_index << 1) | kind
            record = struct.pack("<IHH", ident, word, prop_id - 0x8000)
            entries.append(record)
            buckets.setdefault((hashed ^ word) % 251, []).append(record)
        props = [(0x0001, PT_LONG, 251), (0x0002, PT_BINARY, b"".join(guids).hex()),
                 (0x0003, PT_BINARY, b"".join(entries).hex()), (0x0004, PT_BINARY, strings.hex())]
        for bucket, records in buckets.items():
            props.append((0x1000 + bucket, PT_BINARY, b"".join(records).hex()))
        return self.pc(props, SubnodeIds())

    def build(self, plan):
        root = NID_ROOT_FOLDER
        subtree = nid(self.next_folder, NID_TYPE_NORMAL_FOLDER)
        self.next_folder += 1
        wastebasket_plan = {"name": "Gelöschte Elemente", "class": "IPF.Note"}
        top = self.folder({"name": "Oberste Ebene der Persönlichen Ordner",
                           "folders": plan.get("folders", []) + [wastebasket_plan]}, root, subtree)
        outside = [self.folder(f, root) for f in plan.get("outside", [])]
        children = [top] + outside
        self.folder_root(children)
        wastebasket = next(i for i, (parent, _) in self.nodes.items()
                           if parent == subtree and (i & 0x1F) == NID_TYPE_NORMAL_FOLDER
                           and self.folder_name(i) == wastebasket_plan["name"])
        store = [(0x0FF9, PT_BINARY, self.uid.hex()), (0x3001, PT_UNICODE, plan.get("store", "Persönliche Ordner")),
                 (0x35E0, PT_BINARY, self.entry_id(subtree)), (0x35E3, PT_BINARY, self.entry_id(wastebasket)),
                 (0x35E7, PT_BINARY, self.entry_id(subtree))]
        self.add(NID_MESSAGE_STORE, 0, self.pc(store, SubnodeIds()))
        self.add(NID_NAME_TO_ID_MAP, 0, self.name_to_id_map())
        # The templates of the three folder tables.
        self.add(0x60D, 0, self.tc([(0x3001, PT_UNICODE)], [], SubnodeIds()))
        self.add(0x60E, 0, self.tc([(0x001A, PT_UNICODE)], [], SubnodeIds()))
        self.add(0x60F, 0, self.tc([(0x001A, PT_UNICODE)], [], SubnodeIds()))

    def folder_name(self, folder_id):
        return self.names.get(folder_id)

    def folder_root(self, children):
        ids = SubnodeIds()
        index = NID_ROOT_FOLDER >> 5
        self.add(NID_ROOT_FOLDER, NID_ROOT_FOLDER, self.pc(
            [(0x3001, PT_UNICODE, ""), (0x3602, PT_LONG, 0), (0x3603, PT_LONG, 0), (0x360A, PT_BOOLEAN, True)], ids))
        self.add(nid(index, NID_TYPE_HIERARCHY_TABLE), 0, self.tc(
            [(0x3001, PT_UNICODE), (0x3602, PT_LONG), (0x3603, PT_LONG), (0x360A, PT_BOOLEAN)],
            [(c_id, {0x3001: name, 0x3602: count, 0x3603: 0, 0x360A: sub}) for c_id, name, count, sub in children],
            SubnodeIds()))
        self.add(nid(index, NID_TYPE_CONTENTS_TABLE), 0, self.tc([(0x001A, PT_UNICODE)], [], SubnodeIds()))
        self.add(nid(index, NID_TYPE_ASSOC_CONTENTS_TABLE), 0, self.tc([(0x001A, PT_UNICODE)], [], SubnodeIds()))


class Layout:
    """Places blocks and pages in the file, around the allocation and page maps. An ANSI file has
    32-bit block identifiers and offsets: shorter trailers, B-tree entries and subnode entries."""

    def __init__(self, ansi=False):
        self.ansi = ansi
        self.page_body = 500 if ansi else 496  # a page's bytes before its trailer
        self.end = FIRST_AMAP
        self.out = bytearray(FIRST_AMAP)
        self.allocated = []   # (ib, size)
        self.next_bid = 4
        self.next_page_bid = 0x100
        self.bbt = []         # (bid, ib, cb)
        self.skip_maps(0)

    def map_page_at(self, ib):
        if ib >= FIRST_AMAP and (ib - FIRST_AMAP) % AMAP_SPAN == 0:
            return "amap"
        if ib >= FIRST_AMAP + PAGE and (ib - FIRST_AMAP - PAGE) % PMAP_SPAN == 0:
            return "pmap"
        return None

    def skip_maps(self, size):
        # A block never covers the place of a map page; the map pages are written last.
        while True:
            start = self.end
            clash = None
            page = start - (start - FIRST_AMAP) % PAGE
            while page < start + max(size, 1):
                if self.map_page_at(page):
                    clash = page
                    break
                page += PAGE
            if clash is None:
                return
            self.place(clash, bytes(PAGE))
            self.end = clash + PAGE

    def place(self, ib, data):
        if len(self.out) < ib + len(data):
            self.out.extend(b"\0" * (ib + len(data) - len(self.out)))
        self.out[ib:ib + len(data)] = data
        self.allocated.append((ib, len(data)))

    def block(self, data, internal=False):
        bid = self.next_bid | (2 if internal else 0)
        self.next_bid += 4
        trailer_size = 12 if self.ansi else 16
        size = (len(data) + trailer_size + 63) // 64 * 64
        self.skip_maps(size)
        ib = self.end
        if self.ansi:
            trailer = struct.pack("<HHII", len(data), signature(ib, bid), bid, crc(data))
        else:
            trailer = struct.pack("<HHIQ", len(data), signature(ib, bid), crc(data), bid)
        self.place(ib, data + b"\0" * (size - trailer_size - len(data)) + trailer)
        self.end = ib + size
        self.bbt.append((bid, ib, len(data)))
        return bid

    def page(self, body, ptype):
        self.end = (self.end - FIRST_AMAP + PAGE - 1) // PAGE * PAGE + FIRST_AMAP
        self.skip_maps(PAGE)
        ib = self.end
        bid = self.next_page_bid
        self.next_page_bid += 1
        body = body.ljust(self.page_body, b"\0")
        self.place(ib, body + self.page_trailer(body, ptype, signature(ib, bid), bid))
        self.end = ib + PAGE
        return bid, ib

    def page_trailer(self, body, ptype, sig, bid):
        if self.ansi:
            return struct.pack("<BBHII", ptype, ptype, sig, bid, crc(body))
        return struct.pack("<BBHIQ", ptype, ptype, sig, crc(body), bid)

    def data_tree(self, blocks):
        bids = [self.block(b) for b in blocks]
        if len(bids) == 1:
            return bids[0]
        assert len(bids) <= (BLOCK_MAX - 8) // 8
        total = sum(len(b) for b in blocks)
        bid_form = "<I" if self.ansi else "<Q"
        return self.block(struct.pack("<BBHI", 1, 1, len(bids), total) + b"".join(struct.pack(bid_form, b) for b in bids), True)

    def subnode_tree(self, subnodes):
        if not subnodes:
            return 0
        entries = []
        for sub_id in sorted(subnodes):
            node = subnodes[sub_id]
            entries.append(struct.pack("<III" if self.ansi else "<QQQ", sub_id, self.data_tree(node.blocks),
                                       self.subnode_tree(node.subnodes)))
        assert len(entries) <= (BLOCK_MAX - 8) // 24
        # The Unicode header has four bytes of padding after the count.
        head = struct.pack("<BBH", 2, 0, len(entries)) if self.ansi else struct.pack("<BBHI", 2, 0, len(entries), 0)
        return self.block(head + b"".join(entries), True)

    def btree(self, entries, entry_size, ptype):
        """Pages of a B-tree over sorted (key, entry bytes); returns the root's (bid, ib)."""
        room = 496 if self.ansi else 488  # the entries' bytes of a page
        per_leaf = room // entry_size
        level = []
        for i in range(0, len(entries), per_leaf):
            chunk = entries[i:i + per_leaf]
            body = b"".join(e for _, e in chunk).ljust(room, b"\0") + struct.pack("<BBBB", len(chunk), per_leaf, entry_size, 0)
            bid, ib = self.page(body, ptype)
            level.append((chunk[0][0], bid, ib))
        depth = 0
        while len(level) > 1 or depth == 0 and not level:
            depth += 1
            upper = []
            size = 12 if self.ansi else 24
            per = room // size
            for i in range(0, len(level), per):
                chunk = level[i:i + per]
                form = "<III" if self.ansi else "<QQQ"
                body = b"".join(struct.pack(form, k, b, ib) for k, b, ib in chunk).ljust(room, b"\0")
                body += struct.pack("<BBBB", len(chunk), per, size, depth)
                bid, ib = self.page(body, ptype)
                upper.append((chunk[0][0], bid, ib))
            level = upper
        return level[0][1], level[0][2]


def write(plan, path, fmt="unicode"):
    """Writes the plan's file in one of FORMATS."""
    assert fmt in FORMATS, fmt
    ansi = fmt.startswith("ansi")
    w = Writer(ansi)
    w.build(plan)

    lay = Layout(ansi)
    nbt = []
    for node_id in sorted(w.nodes):
        parent, node = w.nodes[node_id]
        data_bid = lay.data_tree(node.blocks)
        sub_bid = lay.subnode_tree(node.subnodes)
        if ansi:
            nbt.append((node_id, struct.pack("<IIII", node_id, data_bid, sub_bid, parent)))
        else:
            nbt.append((node_id, struct.pack("<QQQII", node_id, data_bid, sub_bid, parent, 0)))
    lay.bbt.sort()
    bbt_form = "<IIHH" if ansi else "<QQHHI"
    bbt_entries = [(bid, struct.pack(bbt_form, bid, ib, cb, 2, *([] if ansi else [0]))) for bid, ib, cb in lay.bbt]
    nbt_root = lay.btree(nbt, 16 if ansi else 32, 0x81)
    bbt_root = lay.btree(bbt_entries, 12 if ansi else 24, 0x80)

    # The allocation maps, and the page maps (every bit set) beside every eighth one. An ANSI map
    # page has four bytes of padding before its bits.
    pad = b"\0" * 4 if ansi else b""
    eof = len(lay.out)
    maps = (eof - FIRST_AMAP + AMAP_SPAN - 1) // AMAP_SPAN
    assert maps < 128, "files beyond the first free-map range are not written"
    eof = max(eof, FIRST_AMAP + (maps - 1) * AMAP_SPAN + PAGE)
    for m in range(maps):
        ib = FIRST_AMAP + m * AMAP_SPAN
        if m % 8 == 0:
            body = pad + b"\xff" * 496
            lay.place(ib + PAGE, body + lay.page_trailer(body, 0x83, 0, ib + PAGE))
        lay.place(ib, bytes(PAGE))
    eof = len(lay.out)
    bits = bytearray(maps * 496)
    for ib, size in lay.allocated:
        for slot in range((ib - FIRST_AMAP) // 64, (ib - FIRST_AMAP + size + 63) // 64):
            m, bit = divmod(slot, 496 * 8)
            bits[m * 496 + bit // 8] |= 0x80 >> (bit % 8)
    free = 0
    for m in range(maps):
        ib = FIRST_AMAP + m * AMAP_SPAN
        body = bytes(bits[m * 496:(m + 1) * 496])
        covered = min(AMAP_SPAN, eof - ib) // 64
        free += sum(1 for s in range(covered) if not body[s // 8] & (0x80 >> (s % 8))) * 64
        lay.out[ib:ib + PAGE] = pad + body + lay.page_trailer(pad + body, 0x84, 0, ib)

    rgnid = [0] * 32
    rgnid[NID_TYPE_NORMAL_FOLDER] = w.next_folder
    rgnid[NID_TYPE_NORMAL_MESSAGE] = w.next_message
    for kind in range(32):
        rgnid[kind] = max(rgnid[kind], 0x400)
    # An offline folders file differs from a personal one by its client signature.
    client = b"SO" if fmt.endswith("ost") else b"SM"
    if ansi:
        header = bytearray(512)
        root = struct.pack("<IIIIIIIIIBBH", 0, eof, FIRST_AMAP + (maps - 1) * AMAP_SPAN, free, 0,
                           nbt_root[0], nbt_root[1], bbt_root[0], bbt_root[1], 2, 0, 0)
        struct.pack_into("<4sI2sHHBBII", header, 0, b"!BDN", 0, client, 14, 19, 1, 1, 0, 0)
        struct.pack_into("<III", header, 24, lay.next_bid, lay.next_page_bid, 0)
        struct.pack_into("<32I", header, 36, *rgnid)
        header[164:204] = root
        header[204:460] = b"\xff" * 256
        header[460] = 0x80
        header[461] = 0  # no encoding of the data
    else:
        header = bytearray(564)
        root = struct.pack("<IQQQQQQQQBBH", 0, eof, FIRST_AMAP + (maps - 1) * AMAP_SPAN, free, 0,
                           nbt_root[0], nbt_root[1], bbt_root[0], bbt_root[1], 2, 0, 0)
        struct.pack_into("<4sI2sHHBBII", header, 0, b"!BDN", 0, client, 23, 19, 1, 1, 0, 0)
        struct.pack_into("<QQI", header, 24, 0, lay.next_page_bid, 0)
        struct.pack_into("<32I", header, 44, *rgnid)
        header[180:252] = root
        header[256:512] = b"\xff" * 256
        header[512] = 0x80
        header[513] = 0  # no encoding of the data
        struct.pack_into("<Q", header, 516, lay.next_bid)
        struct.pack_into("<I", header, 524, crc(bytes(header[8:8 + 516])))
    struct.pack_into("<I", header, 4, crc(bytes(header[8:8 + 471])))
    lay.out[0:len(header)] = header
    with open(path, "wb") as f:
        f.write(lay.out)


if __name__ == "__main__":
    write(json.load(sys.stdin), sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "unicode")
