        .CHIP   ZQ4460
        ORG     0
        NOP
        NOP
        ORG     1
        HALT
