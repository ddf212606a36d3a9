db $SJIS(("(")"))
db $SJIS("")
$$SJIS("x") $SJIS($SJIS("x")
