; banked.asm - a program spread over the three banks of a banked ZQ4460.
;
; With a program ROM top of 2FFFh the chip has three banks of 1000h words. A CALL or
; JMP holds a 12-bit address, so it cannot leave its bank by itself; the assembler
; routes every CALL and JMP whose target lies in another bank through a trampoline it
; builds in the bank convert area (100h-1FFh of every bank). Code in each bank here
; calls and jumps into the other two. The calls of banks 1 and 2 to clear0 share one
; trampoline. The CALL written at 0FFFh moves to 1000h behind an inserted NOP.
;
; Assemble with:  zqasm --rom-top 2FFFh banked.asm
; Then read banked.LST: the "Bank Convert Area" blocks at its end, and the lines
; marked ";*** CALL BANK n ***" or ";*** JMP BANK n ***".

        .CHIP   ZQ4460
        .BANKCONVERTAREA 0100h 01FFh

; ---- bank 0: 0000h-0FFFh ----------------------------------------------------
        ORG     0
reset:  JMP     main0           ; within bank 0: left as written
        ORG     10h
main0:  LDA     1
        CALL    work1           ; bank 0 -> bank 1
        CALL    work2           ; bank 0 -> bank 2
        JNZ     main0
        JMP     idle2           ; bank 0 -> bank 2, a jump
clear0: LDA     0               ; called from banks 1 and 2
        RET

; ---- bank 1: 1000h-1FFFh ----------------------------------------------------
        ORG     0FFFh
        CALL    clear0          ; written for 0FFFh: a NOP takes 0FFFh and this CALL
                                ; moves to 1000h, still routed to bank 0
work1:  LDA     3
        CALL    clear0          ; bank 1 -> bank 0, same trampoline as the CALL above
        CALL    work2           ; bank 1 -> bank 2
        RET
back1:  LDA     4
        JMP     main0           ; bank 1 -> bank 0, a jump

; ---- bank 2: 2000h-2FFFh ----------------------------------------------------
        ORG     2000h
work2:  LDA     5
        CALL    clear0          ; bank 2 -> bank 0, same trampoline again
        RET
idle2:  LDA     6
        JZ      idle2           ; a conditional jump within bank 2
        JMP     back1           ; bank 2 -> bank 1, a jump
        .END
