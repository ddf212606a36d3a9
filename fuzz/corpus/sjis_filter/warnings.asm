; warnings
msg: db $SJIS("～―��"), $SJIS(("a
😀"))
	db $SJIS("open