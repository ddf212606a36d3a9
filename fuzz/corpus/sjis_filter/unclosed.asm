db $SJIS("ｱ\~―")
db $SJIS("unclosed