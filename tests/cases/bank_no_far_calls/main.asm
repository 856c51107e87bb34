        .CHIP   ZQ4460
        .BANKCONVERTAREA 01FFh 0100h
        ORG     00FEh
        LDA     1
        LDA     2
        LDA     3
        ORG     0FFFh
        NOP
        JMP     1050h
        ORG     1FFFh
        LDA     4
