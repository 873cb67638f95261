SELECT City, Amount, Day, Paid FROM [Sales 2026$] ORDER BY Amount
SELECT City, Amount FROM [Sales 2026$] WHERE City = 'Zürich'
SELECT COUNT(*), SUM(Amount) FROM [Sales 2026$] WHERE Day >= #2026-02-01#
SELECT TOP 2 N, Half FROM [Numbers$] ORDER BY N DESC
SELECT City FROM Cities WHERE Amount > {fn ABS(-10)} ORDER BY City
SELECT City, Paid FROM [Sales 2026$A1:D3]
SELECT {fn UCASE(City)} FROM [Sales 2026$] WHERE City LIKE 'B%' ORDER BY 1
SELECT Value FROM [Mixed$] WHERE Value IS NULL
SELECT * FROM [Sheet1$]
SELECT Nope FROM [Numbers$]
DELETE FROM [Numbers$]
DROP TABLE [Numbers$]
