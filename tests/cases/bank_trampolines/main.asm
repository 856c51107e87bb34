; cross-bank calls
        .CHIP   ZQ4460
        .BANKCONVERTAREA 0100h 01FFh
        ORG     0
MAIN:   CALL    1234h
        JMP     MAIN
        ORG     0FFFh
        CALL    FAR2
SUB1:   JMP     MAIN
        CALL    MAIN
        JNZ     SUB1
        ORG     2000h
FAR2:   RET
