; Boot sector of the example disk (nasm syntax, 1024 bytes: one sector of the
; 1.2 MB disk). diskmason writes the disk parameters over bytes 11 to 29, so
; they are left as zero placeholders here.
        bits    16
        org     0

        jmp     short start
        nop
        db      "TOOLKIT "              ; OEM name, 8 bytes
        times   17 db 0                 ; sector size to heads, filled in by diskmason
        dd      0                       ; hidden sectors (low half filled in by diskmason)
        dd      0                       ; large sector count
        db      0                       ; drive number
        db      0
        db      29h                     ; extended boot signature
        dd      20240101h               ; volume serial number
        db      "NO NAME    "           ; volume label, 11 bytes (none)
        db      "FAT12   "              ; file system type, 8 bytes

start:  cli
.halt:  hlt
        jmp     short .halt

        times   510 - ($ - $$) db 0
        dw      0AA55h
        times   1024 - ($ - $$) db 0
