        .CHIP   ZQ4460
Loop:   NOP
LOOP:   NOP
        JMP     LOOP
