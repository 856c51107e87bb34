; a clean table: pairs and sequential data fill the .TAB image
        .CHIP   ZQ4460
        .DATA
        ORG     40h
FLAGS   DN      1
        .ENDD
        .TABLE
        DN      6, 0AAh
        7 0
        .DB     "Hi", 0
        .DW     'A'
        .ENDT
        MOV     FLAGS, 1
