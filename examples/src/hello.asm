; Greeting program for a 16-bit DOS-style target (nasm syntax).
; Text in $SJIS("...") is written in UTF-8 here and becomes Shift-JIS bytes.
        org     100h

start:  mov     dx, greeting
        mov     ah, 09h
        int     21h
        mov     dx, farewell
        mov     ah, 09h
        int     21h
        mov     ax, 4c00h
        int     21h

greeting:
        db      $SJIS("こんにちは、世界！"), 0dh, 0ah, '$'
farewell:
        db      $SJIS("ﾌﾛｯﾋﾟｰから起動しました。"), 0dh, 0ah, '$'
