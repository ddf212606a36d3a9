msg: db $SJIS("あい"),0
