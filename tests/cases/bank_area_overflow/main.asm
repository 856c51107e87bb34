        .CHIP   ZQ4460
        .BANKCONVERTAREA 0100h 0107h
        CALL    1010h
        CALL    1020h
        CALL    1030h
        JMP     1040h
        JMP     1050h
