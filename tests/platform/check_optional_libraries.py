#!/usr/bin/env python3
"""Optional libraries are opened at their first use, not with the program.

A plain run must not load them (the dynamic loader's own trace shows what it loads); the commands
that use them load them and work as before; withheld ones give each command family's own empty
result or error message.
"""

import argparse
import os
import sys
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "net"))
from netlib import ScriptRun, free_port  # noqa: E402

MORIVEL = ""

# Each of these brings a tree of further libraries that a plain run does not need.
OPTIONAL = ["libsmbclient.so.0", "libavahi-client.so.3", "libfluidsynth.so.3",
            "libespeak-ng.so.1", "libcurl.so.4", "libarchive.so.13"]

SOUNDFONTS = ["/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
              "/usr/share/sounds/sf3/default-GM.sf3"]


def loaded(trace: str) -> set:
    """The optional sonames the loader's trace (LD_DEBUG=files) shows being opened."""
    return {name for name in OPTIONAL if f"file={name} [" in trace}


class OptionalLibrariesTest(unittest.TestCase):
    def setUp(self):
        self.run_ = ScriptRun(MORIVEL)

    def tearDown(self):
        self.run_.close()

    def run_traced(self, source, env_extra=None):
        env = {"LD_DEBUG": "files"}
        env.update(env_extra or {})
        status, out, err = self.run_.run(source, env_extra=env)
        self.assertEqual(status, 0, out + err[-2000:])
        return out.splitlines(), loaded(err)

    def test_a_plain_run_loads_none_of_them(self):
        lines, libraries = self.run_traced("「こんにちは」と表示\n")
        self.assertEqual(lines, ["こんにちは"])
        self.assertEqual(libraries, set())

    def test_listing_shares_and_domains_loads_their_libraries_and_lists_as_before(self):
        lines, libraries = self.run_traced("""「127.0.0.1」の共有フォルダ列挙
「共有=[{それ}]」を表示
ネットワークドメイン列挙
「列挙済」を表示
""")
        self.assertEqual(lines, ["共有=[]", "列挙済"])
        self.assertIn("libsmbclient.so.0", libraries)
        self.assertIn("libavahi-client.so.3", libraries)
        self.assertNotIn("libcurl.so.4", libraries)

    def test_music_loads_the_synthesizer_when_a_tune_is_rendered(self):
        if not any(Path(p).is_file() for p in SOUNDFONTS):
            self.skipTest("no General-MIDI soundfont here: tunes are not rendered")
        lines, libraries = self.run_traced("""「t240 l8 cdefgab>c」をMML演奏
演奏停止
「済」を表示
""")
        self.assertEqual(lines, ["済"])
        self.assertEqual(libraries, {"libfluidsynth.so.3"})

    def test_archives_load_their_library_when_made_and_read(self):
        lines, libraries = self.run_traced("""「中身」を「a.txt」へ書く
「a.txt」を「a.zip」へ圧縮
「a.zip」を「out」へ解凍
Aに「out/a.txt」を開く
Aを表示
""")
        self.assertEqual(lines, ["中身"])
        self.assertEqual(libraries, {"libarchive.so.13"})

    def test_withheld_libraries_give_empty_listings_and_the_families_own_errors(self):
        closed = free_port()
        lines, libraries = self.run_traced(f"""エラーを無視
「127.0.0.1」の共有フォルダ列挙
「共有=[{{それ}}]」を表示
ネットワークドメイン列挙
「ドメイン=[{{それ}}]」を表示
「」のネットワークコンピューター列挙
「コンピューター=[{{それ}}]」を表示
「http://127.0.0.1:{closed}/x.bin」を「x.bin」へHTTPダウンロード
エラーメッセージを表示
データのaは「1」
データを「http://127.0.0.1:{closed}/form」へHTTPポスト
エラーメッセージを表示
メール送信先は「a@example.test」
メール送信元は「me@example.test」
メール本文は「本文」
メールホストは「127.0.0.1:{closed}」
メール送信
エラーメッセージを表示
メールIDは「me」
メールパスワードは「pw」
「box」へメール受信
エラーメッセージを表示
FTPユーザーIDは「user」
FTPパスワードは「pass」
FTPホストは「127.0.0.1:{closed}」
FTP接続
エラーメッセージを表示
""", {"MORIVEL_WITHOUT_LIBRARIES": " ".join(OPTIONAL)})
        self.assertEqual(lines[:3], ["共有=[]", "ドメイン=[]", "コンピューター=[]"])
        errors = lines[3:]
        self.assertEqual(len(errors), 5, lines)
        expected = [f"\"http://127.0.0.1:{closed}/x.bin\"からのダウンロードに失敗",
                    f"\"http://127.0.0.1:{closed}/form\"へのHTTPポストに失敗",
                    "メールの送信エラー。接続に失敗",
                    "メールの受信エラー。メールの受信に失敗しました。",
                    "FTPのエラー。接続に失敗。"]
        for line, start in zip(errors, expected):
            self.assertIn(start, line)
            self.assertIn("libcurl.so.4", line)
        self.assertFalse((self.run_.dir / "x.bin").exists(), "no empty file is left behind")
        self.assertEqual(libraries, set())

    def test_withheld_archive_library_names_itself_as_a_missing_component(self):
        withheld = {"MORIVEL_WITHOUT_LIBRARIES": "libarchive.so.13"}
        status, out, err = self.run_.run("""「中身」を「a.txt」へ書く
「a.txt」を「b.zip」へ圧縮
""", env_extra=withheld)
        self.assertEqual(status, 1)
        self.assertIn("ファイル圧縮のエラー。", err)
        self.assertIn("ZIP 形式書庫 を扱うには libarchive.so.13 が 必要です。", err)
        self.assertFalse((self.run_.dir / "b.zip").exists())
        # Our own LHA writer needs no library; reading an archive always does.
        status, out, err = self.run_.run("""「a.txt」を「c.lzh」へ圧縮
「c.lzhができた」を表示
「c.lzh」を「out」へ解凍
""", env_extra=withheld)
        self.assertEqual(status, 1)
        self.assertEqual(out.splitlines(), ["c.lzhができた"])
        self.assertIn("解凍のエラー。", err)
        self.assertIn("LHA 形式書庫 を扱うには libarchive.so.13 が 必要です。", err)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True)
    args, rest = parser.parse_known_args()
    MORIVEL = os.path.abspath(args.morivel)
    unittest.main(argv=[sys.argv[0]] + rest)
