; no literals here
mov ax, 1 ; $CJI S( and $SJIS("x")
