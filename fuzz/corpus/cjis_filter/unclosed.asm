x: db $CJIS("never closed
