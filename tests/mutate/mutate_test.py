#!/usr/bin/env python3
"""The mutation script's own parts: the mutants it makes of C++ lines, the
lines it reads from a diff, and the copies that put a file back."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "mutate"))
import mutate  # noqa: E402


def whats(line):
    return sorted(what for _, what in mutate.mutants_of_line(line))


class MutantsOfALine(unittest.TestCase):
    CASES = [
        # (line, the mutations made, in sorted order)
        ("    if (a < b) x = y + 1;\n",
         sorted(["'<' -> '<='", "'+' -> '-'", "1 -> 2", "1 -> 0", "negated if (a < b)",
                 "deleted 'if (a < b) x = y + 1;'"])),
        ("while (n != 0 && k >= m) {\n", sorted(["'!=' -> '=='", "'>=' -> '>'", "0 -> 1",
                                                  "negated while (n != 0 && k >= m)"])),
        ("    total = total - part;\n", sorted(["'-' -> '+'", "deleted 'total = total - part;'"])),
        ("    copy(from, to);\n", sorted(["swapped arguments of copy(from, to)", "deleted 'copy(from, to);'"])),
        # Templates, shifts, arrows, compound assignments and increments are no comparisons or sums.
        ("std::vector<std::pair<int, int>> pairs;\n", []),
        ("    out << a->b;\n", ["deleted 'out << a->b;'"]),
        ("    n += step;\n", ["deleted 'n += step;'"]),
        # Nothing inside strings, characters or comments; no + next to a string.
        ('    say("a < b == c", \'<\'); // x == y + 1\n', ["deleted 'say(\"a < b == c\", '<');'"]),
        ('    const std::string t = "v" + name + "!";\n', []),
        ('    s = "tab\\"s + x";\n', [r"""deleted 's = "tab\"s + x";'"""]),
        # Numbers inside names, hexadecimal and decimal fractions stay.
        ("    int v2 = 0x1F + 1.5;\n", ["'+' -> '-'"]),
        ("#include <vector>\n", []),
        ("// if (a < b) return 1;\n", []),
        ("    return a == b;\n", ["'==' -> '!='"]),
    ]

    def test_each_line(self):
        for line, expected in self.CASES:
            with self.subTest(line=line):
                self.assertEqual(whats(line), expected)

    def test_mutants_change_only_what_they_say(self):
        line = "    if (x <= limit) total = f(a, b) + 2;\n"
        for new, what in mutate.mutants_of_line(line):
            with self.subTest(what=what):
                self.assertNotEqual(new, line)
                self.assertTrue(new.endswith("\n"))
                if not what.startswith(("deleted", "negated", "swapped")):
                    # one token replaced: the rest of the line is as it was
                    self.assertEqual(len(new.split()), len(line.split()))


class MutantsOfAFile(unittest.TestCase):
    TEXT = "".join(f"    x{i} = y{i} + {i};\n" for i in range(1, 21))

    def test_only_the_wanted_lines_and_at_most_the_limit_spread_over_them(self):
        every = mutate.mutants_of_file(self.TEXT, None, 1000)
        self.assertEqual({n for n, _, _ in every}, set(range(1, 21)))
        some = mutate.mutants_of_file(self.TEXT, {3, 4}, 1000)
        self.assertEqual({n for n, _, _ in some}, {3, 4})
        capped = mutate.mutants_of_file(self.TEXT, None, 10)
        self.assertEqual(len(capped), 10)
        lines = [n for n, _, _ in capped]
        self.assertEqual(lines, sorted(lines))
        self.assertGreaterEqual(lines[-1] - lines[0], 15, "spread over the file, not its first lines")


class LinesOfADiff(unittest.TestCase):
    DIFF = """diff --git a/src/a.cpp b/src/a.cpp
--- a/src/a.cpp
+++ b/src/a.cpp
@@ -3,0 +4,2 @@ void f()
+    one();
+    two();
@@ -10 +12 @@ int g()
-    old();
+    changed();
@@ -20,2 +21,0 @@ int h()
-    gone();
-    gone();
diff --git a/src/b.cpp b/src/b.cpp
deleted file mode 100644
--- a/src/b.cpp
+++ /dev/null
@@ -1,2 +0,0 @@
-int b;
-int c;
diff --git a/src/c.h b/src/c.h
new file mode 100644
--- /dev/null
+++ b/src/c.h
@@ -0,0 +1,3 @@
+#pragma once
+int c();
+int d();
"""

    def test_added_and_changed_lines_by_file(self):
        self.assertEqual(mutate.changed_lines(self.DIFF), {"src/a.cpp": {4, 5, 12}, "src/c.h": {1, 2, 3}})


class PuttingFilesBack(unittest.TestCase):
    def test_a_file_left_changed_by_a_killed_run_is_put_back_by_the_next(self):
        with tempfile.TemporaryDirectory() as root:
            source = os.path.join(root, "a.cpp")
            with open(source, "w") as f:
                f.write("int a = 1;\n")
            folder = os.path.join(root, "build", "mutate-originals")
            mutate.Originals(root, folder).keep("a.cpp")
            with open(source, "w") as f:
                f.write("int a = 2;\n")
            # A new run, as after a run that ended without putting it back.
            self.assertEqual(mutate.Originals(root, folder).restore_left(), ["a.cpp"])
            with open(source) as f:
                self.assertEqual(f.read(), "int a = 1;\n")
            self.assertFalse(os.path.exists(folder))
            self.assertEqual(mutate.Originals(root, folder).restore_left(), [])


if __name__ == "__main__":
    unittest.main()
