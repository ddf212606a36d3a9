; Title menu for a 16-bit target (nasm syntax). The CJIS literals below are
; written in UTF-8 (glyphmint finds their marker anywhere, comments included,
; so it is not spelled out here). glyphmint puts a table of the characters
; used most at the head of the output (dw size, then the codes) and codes
; each text with it: a kind byte (1 = uses the table, 2 = plain bytes), then
; one byte per table character, two Shift-JIS bytes otherwise, and 4 for each
; line end. {XX} and {XXXX} give raw codes; {{ gives a "{".
; The table comes before the first line of this source, so the source holds
; the texts only and has no org: assembled, it is the data file MENU.BIN
; for a program to load, with the table at offset 0 and each label an offset
; from the start of the file.

menu_title:
        db      $CJIS("メインメニュー"), 0
menu_items:
        db      $CJIS("はじめから"), 0
        db      $CJIS("つづきから"), 0
        db      $CJIS("せってい"), 0
        db      $CJIS("おわる"), 0
menu_help:
        db      $CJIS("カーソルキーでえらんで、{0d}{0a}リターンキーでけってい。"), 0
menu_save:
        db      $CJIS("セーブデータがありません。{0d}{0a}はじめからあそびますか？"), 0
menu_version:
        db      $CJIS("Version 1.02 {{build 7}"), 0
