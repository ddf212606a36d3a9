t1: db $CJIS("あいA")
t2: db $CJIS("あい")
t3: db $CJIS("あ"),0
t4: db $CJIS("OK{0d}{0a}")
