plain text without literals
	db 0
