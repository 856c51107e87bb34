        .CHIP   ZQ44V09
        HALT
