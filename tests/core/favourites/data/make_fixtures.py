#!/usr/bin/env python3
"""Writes the small bookmark files the import tests read, in the formats the
browsers themselves write: places.sqlite with Firefox's own tables and
columns (moz_origins, moz_places, moz_bookmarks, schema version 74 as
Firefox 115 leaves it), a Chromium "Bookmarks" file and a Netscape bookmark
HTML file as Firefox exports it. Run it from this folder; it replaces the
three files."""

import json
import os
import sqlite3

# One tree for all three: (name, address) for a bookmark, (name, [children])
# for a folder. Hostile names, a duplicate address and addresses NUVE does
# not open are part of it.
TOOLBAR = [
    ("新浪", "http://sina.test/"),
    ("工具", [
        ("翻译", "https://fanyi.test/"),
        ("地图", "https://map.test/"),
        ("翻译（重复）", "https://fanyi.test/"),
    ]),
    ("书签小工具", "javascript:alert(document.cookie)"),
]
MENU = [
    ("Mozilla", "https://mozilla.test/"),
    ("<script>alert(1)</script>", "http://xss.test/"),
    ("../x", "http://dotdot.test/"),
]
UNFILED = [
    ("a/b:c*d?e\"f<g>h|i", "http://forbidden.test/"),
    ("", "http://untitled.test/path/"),
]


def firefox():
    if os.path.exists("places.sqlite"):
        os.remove("places.sqlite")
    db = sqlite3.connect("places.sqlite")
    db.executescript("""
PRAGMA page_size = 4096;
CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,
  frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER,
  recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, UNIQUE (prefix, host));
CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR,
  visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL,
  frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER, guid TEXT,
  foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL, description TEXT,
  preview_image_url TEXT, site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id),
  recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,
  position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER,
  lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0,
  syncChangeCounter INTEGER NOT NULL DEFAULT 1);
CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);
CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);
CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);
CREATE UNIQUE INDEX moz_places_guid_uniqueindex ON moz_places (guid);
PRAGMA user_version = 74;
""")
    next_id = [7]
    places = {}

    def place(url, title):
        if url not in places:
            places[url] = len(places) + 1
            db.execute("INSERT INTO moz_places (id, url, title, guid) VALUES (?, ?, ?, ?)",
                       (places[url], url, title, "place%07d" % places[url]))
        return places[url]

    def add(parent, position, kind, title, fk=None, guid=None):
        item = next_id[0]
        next_id[0] += 1
        db.execute("INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, dateAdded, lastModified, guid) "
                   "VALUES (?, ?, ?, ?, ?, ?, 1700000000000000, 1700000000000000, ?)",
                   (item, kind, fk, parent, position, title, guid or "bm%010d" % item))
        return item

    def fill(parent, children):
        for position, (name, value) in enumerate(children):
            if isinstance(value, list):
                fill(add(parent, position, 2, name), value)
            else:
                add(parent, position, 1, name, place(value, name))

    for item, parent, position, title, guid in [
            (1, 0, 0, "", "root________"), (2, 1, 0, "menu", "menu________"),
            (3, 1, 1, "toolbar", "toolbar_____"), (4, 1, 2, "tags", "tags________"),
            (5, 1, 3, "unfiled", "unfiled_____"), (6, 1, 4, "mobile", "mobile______")]:
        db.execute("INSERT INTO moz_bookmarks (id, type, parent, position, title, guid) VALUES (?, 2, ?, ?, ?, ?)",
                   (item, parent, position, title, guid))
    fill(3, TOOLBAR)
    add(3, len(TOOLBAR), 3, None)  # a separator
    fill(2, MENU)
    fill(5, UNFILED)
    # A tag: a folder under "tags" with a bookmark of a tagged address.
    tag = add(4, 0, 2, "新闻")
    add(tag, 0, 1, None, place("http://sina.test/", "新浪"))
    # A smart bookmark (a query), which is no page.
    add(2, len(MENU), 1, "最近使用的标签", place("place:type=6&sort=14&maxResults=10", "最近使用的标签"))
    db.commit()
    db.execute("VACUUM")
    db.close()


def chromium():
    counter = [3]

    def node(name, value):
        counter[0] += 1
        base = {"date_added": "13340000000000000", "guid": "00000000-0000-4000-8000-%012d" % counter[0],
                "id": str(counter[0]), "name": name}
        if isinstance(value, list):
            base.update({"children": [node(n, v) for n, v in value], "date_modified": "0", "type": "folder"})
        else:
            base.update({"meta_info": {"last_visited_desktop": "13340000000000000"}, "type": "url", "url": value})
        return base

    roots = {
        "bookmark_bar": {"children": [node(n, v) for n, v in TOOLBAR], "date_added": "0", "date_modified": "0",
                         "guid": "0bc5d13f-2cba-5d74-951f-3f233fe6c908", "id": "1", "name": "书签栏",
                         "type": "folder"},
        "other": {"children": [node(n, v) for n, v in MENU + UNFILED], "date_added": "0", "date_modified": "0",
                  "guid": "82b081ec-3dd3-529c-8475-ab6c344590dd", "id": "2", "name": "", "type": "folder"},
        "synced": {"children": [], "date_added": "0", "date_modified": "0",
                   "guid": "4cf2e351-0e85-532b-bb37-df045d8f8d0f", "id": "3", "name": "移动设备书签",
                   "type": "folder"},
    }
    with open("Bookmarks", "w", encoding="utf-8") as out:
        json.dump({"checksum": "0123456789abcdef0123456789abcdef", "roots": roots, "version": 1}, out,
                  ensure_ascii=False, indent=3)


def html():
    def escape(text):
        return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")

    def folder(children, indent):
        lines = []
        for name, value in children:
            if isinstance(value, list):
                lines.append("%s<DT><H3 ADD_DATE=\"1700000000\" LAST_MODIFIED=\"1700000000\">%s</H3>"
                             % (indent, escape(name)))
                lines.append(indent + "<DL><p>")
                lines += folder(value, indent + "    ")
                lines.append(indent + "</DL><p>")
            else:
                lines.append("%s<DT><A HREF=\"%s\" ADD_DATE=\"1700000000\">%s</A>" % (indent, escape(value), escape(name)))
        return lines

    body = [("书签工具栏", TOOLBAR)] + MENU + [("其他书签", UNFILED)]
    lines = ["<!DOCTYPE NETSCAPE-Bookmark-file-1>",
             "<!-- This is an automatically generated file.",
             "     It will be read and overwritten.",
             "     DO NOT EDIT! -->",
             "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">",
             "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'self'; script-src 'none'\">",
             "<TITLE>Bookmarks</TITLE>", "<H1>Bookmarks Menu</H1>", "", "<DL><p>"]
    lines += folder(body, "    ")
    lines.append("</DL>")
    with open("bookmarks.html", "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    firefox()
    chromium()
    html()
