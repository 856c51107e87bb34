-- *.asm and *.inc files get the filetype zqasm only when asked for, since other assemblers use
-- these names too: put `vim.g.zqasm_associate_files = true` in init.lua. The flag is read when a
-- file is opened, so it may be set after this file has run.
vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
  pattern = { '*.[aA][sS][mM]', '*.[iI][nN][cC]' },
  callback = function()
    if vim.g.zqasm_associate_files then
      vim.bo.filetype = 'zqasm'
    end
  end,
})
