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
        db      82h, 0b1h, 82h, 0f1h, 82h, 0c9h, 82h, 0bfh, 82h, 0cdh, 81h, 41h, 90h, 0a2h, 8ah, 45h, 81h, 49h, 0dh, 0ah, '$'
farewell:
        db      0cch, 0dbh, 0afh, 0cbh, 0dfh, 0b0h, 82h, 0a9h, 82h, 0e7h, 8bh, 4eh, 93h, 0aeh, 82h, 0b5h, 82h, 0dch, 82h, 0b5h, 82h, 0bdh, 81h, 42h, 0dh, 0ah, '$'
