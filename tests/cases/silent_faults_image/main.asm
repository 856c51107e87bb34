        .CHIP   ZQ4460
        .TABLE
        .DB     "a,b",0
        .DB     ','
        .DB     "it's",0
        .DB     '"'
        .ENDT
        ORG     0FFFh
        JZ      L1              ; moves to 1000h and reaches L1 from there
        ORG     1010h
L1:     NOP
        ORG     1FFFh
        JMP     $+2             ; moves to 2000h: $ is 2000h
        LDA     1
        LDA     2
