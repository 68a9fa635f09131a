"""How words reach a dictionary, shared by the tests of both faces: word
sequences and files that hold exactly "cat" and "dog", words and their
stored forms, and files that are not UTF-8."""

from hostile import FailingLength, GetItemSequence, LyingLength, Text

CAT_AND_DOG_SEQUENCES = {
    "list": ["cat", "Dog!"],
    "tuple": ("cat", "Dog!"),
    "str-subclass": [Text("cat"), Text("DOG")],
    "getitem": GetItemSequence("cat", "dog"),
    "failing-len": FailingLength("cat", "dog"),
    "lying-len": LyingLength("cat", "dog"),
    "dups": ["cat", "", "dog", "cat", "123"],
}

# word as given -> as stored
STORED_FORMS = [
    ("cat", "cat"),
    (Text("Cat"), "cat"),
    ("Don't-Stop", "dontstop"),
    ("ice cream", "icecream"),
    ("ca\0t", "cat"),
]

CAT_AND_DOG_FILES = {
    "lf": b"cat\ndog\n",
    "crlf": b"cat\r\ndog\r\n",
    "no-final-newline": b"cat\r\ndog",
    "bom": b"\xef\xbb\xbfcat\ndog\n",
    "blank-lines": b"\n\ncat\n\n  \n-\ndog",
    "case": b"Cat\nDOG\ncat\n",
    "utf8": "café\ncat\ndog\n".encode(),
}

# Each line is one word, whatever else it holds: icecream, abcd, xy.
ONE_WORD_LINES = b"ice cream\nab\rcd\nx,y\n"

# cat and dog around a line of every kind of scalar value.
EVERY_SCALAR_VALUE = (
    "cat\n\u00ff\u07ff\u0800\ud7ff\ue000\uffff\U00010000\U0010ffff\ufeff\ufffd\ndog\n"
).encode()

NOT_UTF8_FILES = [
    b"cat\ndog\n\xff\n",
    b"cat\n\x80\n",
    b"cat\n\xc0\xaf\n",  # overlong '/'
    b"cat\n\xe0\x80\xaf\n",  # overlong three-byte form
    b"cat\n\xed\xa0\x80\n",  # encoded surrogate
    b"cat\n\xf4\x90\x80\x80\n",  # past U+10FFFF
    b"cat\n\xf8\x88\x80\x80\x80\n",  # five-byte form
    b"cat\ncaf\xc3",  # cut short at the end
    b"cat\n\xe2\x82dog\n",  # cut short before a letter
]
