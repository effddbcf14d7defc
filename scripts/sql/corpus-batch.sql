-- One batch of the benchmark corpus: sales @FROM@ to @TO@ with their items and prescriptions,
-- in the shape of the sample rows (scripts/sql/pharmacy-sample-rows.sql).
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE v INTEGER = @FROM@;
  DECLARE k INTEGER;
  DECLARE itens INTEGER;
  DECLARE total NUMERIC(15,2);
BEGIN
  WHILE (v <= @TO@) DO BEGIN
    itens = MOD(v, 4) + 1;
    k = 1;
    total = 0;
    WHILE (k <= itens) DO BEGIN
      INSERT INTO ITENS_VENDA VALUES (:v, :k, MOD(:v * 31 + :k * 17, 6000) + 1, MOD(:v + :k, 3) + 1,
        (MOD((:v + :k) * 7919, 20000) + 199) / 100.00);
      total = total + (MOD((v + k) * 7919, 20000) + 199) / 100.00;
      k = k + 1;
    END
    INSERT INTO VENDAS VALUES (:v, DATEADD(-MOD(:v, 720) HOUR TO TIMESTAMP '2026-12-01 08:00:00'),
      CASE MOD(:v, 5) WHEN 0 THEN 'JOÃO DA SILVA' WHEN 1 THEN 'MARIA CONCEIÇÃO' WHEN 2 THEN 'JOSÉ ANTÔNIO PEREIRA'
        WHEN 3 THEN 'ANA LÚCIA SOUZA' ELSE 'CONSUMIDOR FINAL' END,
      LPAD(MOD(:v * 104729, 1000000000), 11, '0'), :total,
      CASE MOD(:v, 3) WHEN 0 THEN 'DINHEIRO' WHEN 1 THEN 'CARTÃO DE DÉBITO' ELSE 'PIX' END);
    IF (MOD(v, 3) = 0) THEN
      INSERT INTO RECEITUARIO VALUES (:v, :v,
        'DR. ' || CASE MOD(:v, 4) WHEN 0 THEN 'CARLOS EDUARDO LIMA' WHEN 1 THEN 'FERNANDA RIBEIRO'
          WHEN 2 THEN 'PAULO HENRIQUE ALVES' ELSE 'BEATRIZ GONÇALVES' END,
        'CRM-SP ' || (100000 + MOD(:v * 37, 90000)),
        'TOMAR ' || (MOD(:v, 3) + 1) || ' COMPRIMIDO(S) DE ' || (MOD(:v, 3) * 4 + 8) ||
          ' EM ' || (MOD(:v, 3) * 4 + 8) || ' HORAS POR ' || (MOD(:v, 10) + 5) ||
          ' DIAS, APÓS AS REFEIÇÕES. RETORNAR EM CASO DE REAÇÃO ALÉRGICA, FEBRE PERSISTENTE OU PIORA DOS SINTOMAS.',
        DATEADD(-MOD(:v, 30) DAY TO DATE '2026-12-01'));
    v = v + 1;
  END
END^
SET TERM ; ^
COMMIT;
