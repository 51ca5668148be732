#!/usr/bin/env python3
"""Compare the firmware settings of two machines, as Vistrel's forms tool
read them.

    vistrel-compare.py A B [--non-default] [--all]

A and B are each a walk's folder (Vistrel_forms_YYMMDD_hhmmss) or its
settings.json. Prints the form sets and the questions that only one side
has, then the values that differ. Form sets are matched by their GUID and
their driver's device path; questions within them by question id, else by
their store and offset (or name). --non-default keeps only values that
differ from their defaults on either side; dates and times, which differ
between any two runs, are compared only with --all.

Exit status: 0 when the two agree, 1 when they differ, 2 on bad input.
Python 3.8 or later, standard library only.
"""
import argparse
import json
import os
import sys

FORMAT = 1
CLOCK_KINDS = ("date", "time")


class BadInput(Exception):
    pass


def load(path):
    """The settings of one side: the file's form sets, checked."""
    if os.path.isdir(path):
        path = os.path.join(path, "settings.json")
    try:
        with open(path, encoding="utf-8") as file:
            settings = json.load(file)
    except OSError as error:
        raise BadInput("cannot read %s: %s" % (path, error.strerror or error))
    except (ValueError, UnicodeDecodeError) as error:
        raise BadInput("%s is not a settings.json: %s" % (path, error))
    if not isinstance(settings, dict) or settings.get("format") != FORMAT:
        raise BadInput("%s is not a settings.json of format %d" % (path, FORMAT))
    sets = settings.get("formSets")
    if not isinstance(sets, list) or not all(isinstance(one, dict) and isinstance(one.get("items"), list)
                                             and "guid" in one for one in sets):
        raise BadInput("%s has no form sets with items" % path)
    return sets


def set_key(form_set):
    return (str(form_set["guid"]).upper(), str(form_set.get("devicePath") or "").lower())


def question_keys(form_set):
    """Each question of a form set by its id, else by its store and place;
    statements (no id) are not compared."""
    questions = [item for item in form_set["items"] if isinstance(item, dict) and item.get("id") is not None]
    ids = [item["id"] for item in questions]
    keyed = {}
    for item in questions:
        if item["id"] and ids.count(item["id"]) == 1:
            key = ("id", item["id"])
        else:
            store = item.get("store") or {}
            key = ("store", store.get("kind"), str(store.get("guid", "")).upper(), store.get("name"),
                   item.get("offset"), item.get("name"))
        keyed.setdefault(key, item)
    return keyed


def where(form_set, item):
    return "%s > %s > %s" % (form_set.get("title") or form_set["guid"], item.get("formTitle") or item.get("form"),
                             item.get("prompt") or "question %s" % item.get("id"))


def shown(item):
    return item.get("value") if item.get("value") is not None else item.get("notRead") or "(no value)"


def compare(a_sets, b_sets, non_default, every):
    """The lines that tell the two apart, in A's order, then B's extras."""
    lines = []
    b_by_key = {set_key(one): one for one in b_sets}
    a_keys = {set_key(one) for one in a_sets}
    for a_set in a_sets:
        b_set = b_by_key.get(set_key(a_set))
        if b_set is None:
            lines.append("Only in A: form set %s {%s}" % (a_set.get("title"), a_set["guid"]))
            continue
        a_items, b_items = question_keys(a_set), question_keys(b_set)
        for key, a_item in a_items.items():
            b_item = b_items.get(key)
            if b_item is None:
                lines.append("Only in A: %s" % where(a_set, a_item))
                continue
            if a_item.get("kind") in CLOCK_KINDS and not every:
                continue
            if non_default and not (a_item.get("differs") or b_item.get("differs")):
                continue
            if tuple(a_item.get(name) for name in ("raw", "value", "notRead")) != \
                    tuple(b_item.get(name) for name in ("raw", "value", "notRead")):
                lines.append("Differs: %s: %s -> %s" % (where(a_set, a_item), shown(a_item), shown(b_item)))
        for key, b_item in b_items.items():
            if key not in a_items:
                lines.append("Only in B: %s" % where(b_set, b_item))
    for b_set in b_sets:
        if set_key(b_set) not in a_keys:
            lines.append("Only in B: form set %s {%s}" % (b_set.get("title"), b_set["guid"]))
    return lines


def main(argv=None):
    parser = argparse.ArgumentParser(description="Compare two machines' firmware settings as Vistrel read them.")
    parser.add_argument("a", metavar="A", help="a walk's folder or its settings.json")
    parser.add_argument("b", metavar="B", help="the other's")
    parser.add_argument("--non-default", action="store_true", help="only values that differ from their defaults")
    parser.add_argument("--all", action="store_true", help="dates and times too")
    arguments = parser.parse_args(argv)
    try:
        a_sets, b_sets = load(arguments.a), load(arguments.b)
        lines = compare(a_sets, b_sets, arguments.non_default, arguments.all)
    except BadInput as error:
        print("vistrel-compare: %s" % error, file=sys.stderr)
        return 2
    except (KeyError, TypeError, AttributeError) as error:
        print("vistrel-compare: a settings.json with a malformed record (%s)" % error, file=sys.stderr)
        return 2
    print("A: %s\nB: %s" % (arguments.a, arguments.b))
    for line in lines:
        print(line)
    print("%d difference%s." % (len(lines), "" if len(lines) == 1 else "s") if lines else "The two agree.")
    return 1 if lines else 0


if __name__ == "__main__":
    sys.exit(main())
