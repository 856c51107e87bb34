        .CHIP   ZQ44W05
        NOP
        JMP     0
