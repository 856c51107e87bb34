; a chip without table ROM: every table statement is refused
        .CHIP   ZQ4460
        .TABLE
        DN      1, 2
        .DB     1
        .ENDT
        NOP
