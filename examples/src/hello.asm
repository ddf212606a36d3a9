; Greeting program for a 16-bit target (nasm syntax).
; The texts below are written in UTF-8; bytequill turns each marked literal
; into its Shift-JIS bytes (the marker is found anywhere, comments included,
; so it is not spelled out here).
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
