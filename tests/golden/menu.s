dw 10
db 81h, 5bh, 82h, 0a9h, 82h, 0e7h, 82h, 0c5h

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
        db      01h, 83h, 81h, 83h, 43h, 83h, 93h, 83h, 81h, 83h, 6ah, 83h, 85h, 18h, 0
menu_items:
        db      01h, 82h, 0cdh, 82h, 0b6h, 82h, 0dfh, 19h, 1ah, 0
        db      01h, 82h, 0c2h, 82h, 0c3h, 82h, 0abh, 19h, 1ah, 0
        db      01h, 82h, 0b9h, 82h, 0c1h, 82h, 0c4h, 82h, 0a2h, 0
        db      01h, 82h, 0a8h, 82h, 0edh, 82h, 0e9h, 0
menu_help:
        db      01h, 83h, 4ah, 18h, 83h, 5ch, 83h, 8bh, 83h, 4ch, 18h, 1bh, 82h, 0a6h, 1ah, 82h, 0f1h, 1bh, 81h, 41h, 04h, 83h, 8ah, 83h, 5eh, 18h, 83h, 93h, 83h, 4ch, 18h, 1bh, 82h, 0afh, 82h, 0c1h, 82h, 0c4h, 82h, 0a2h, 81h, 42h, 0
menu_save:
        db      01h, 83h, 5ah, 18h, 83h, 75h, 83h, 66h, 18h, 83h, 5eh, 82h, 0aah, 82h, 0a0h, 82h, 0e8h, 82h, 0dch, 82h, 0b9h, 82h, 0f1h, 81h, 42h, 04h, 82h, 0cdh, 82h, 0b6h, 82h, 0dfh, 19h, 1ah, 82h, 0a0h, 82h, 0bbh, 82h, 0d1h, 82h, 0dch, 82h, 0b7h, 19h, 81h, 48h, 0
menu_version:
        db      02h, 56h, 65h, 72h, 73h, 69h, 6fh, 6eh, 20h, 31h, 2eh, 30h, 32h, 20h, 7bh, 62h, 75h, 69h, 6ch, 64h, 20h, 37h, 7dh, 0
