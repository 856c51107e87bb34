; DATA and TABLE regions and their errors
        .CHIP   ZQ4460
        .DATA
        ORG     40h
COUNT   DN      2
BUF:    DN      4
COUNT   DN      1
WRONG   DS      1
        ORG     7FFh
LAST    DN      3
        ORG     42h
        .DNOVERLAP OFF
ALIAS   DN      1
        .DNOVERLAP ON
ALIAS2  DN      1
        .ENDD
        .TABLE
        DN      3, 41h
        DN      4, 100h
        DN      16, 1
        .DB     "AB", 'C'+1, 300
        .DW     258
        ORG     2
        ORG     0Ah
        .DSU    "Hi"
        .DB     "ABC"
        .DSU    Hi
        .ENDT
        .DB     1
        .DSU    "x"
        MOV     BUF, 3
