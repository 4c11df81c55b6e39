// follows
